#include "playback/CEscTipWnd.h"

#include "base/ModuleLog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyleOption>
#include <QTimer>

namespace {

const int kTipWidth = 240;
const int kTipHeight = 56;

} // namespace

CEscTipWnd::CEscTipWnd(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint | Qt::Dialog);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kTipWidth, kTipHeight);
    setStyleSheet(QStringLiteral("border:none;border-radius:4px;background-color: rgba(0, 0, 0, 165);"));

    m_pTipLab = new QLabel(this);
    m_pTipLab->setObjectName(QStringLiteral("escTipLab"));
    m_pTipLab->setGeometry(0, 0, kTipWidth, kTipHeight);
    m_pTipLab->setAlignment(Qt::AlignCenter);
    m_pTipLab->setStyleSheet(
        QStringLiteral("border:none;background:transparent;color:#ffffff;font: 14px \"微软雅黑\";"));
    m_pTipLab->setText(QStringLiteral("按\"Esc\"退出全屏模式"));

    m_pHideTimer = new QTimer(this);
    m_pHideTimer->setSingleShot(true);
    connect(m_pHideTimer, &QTimer::timeout, this, &CEscTipWnd::OnTimerOutFunc);
}

void CEscTipWnd::OnTimerOutFunc()
{
    hide();
}

void CEscTipWnd::paintEvent(QPaintEvent*)
{
    // A plain QWidget subclass draws its style sheet only when asked to.
    QStyleOption opt;
    opt.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &opt, &painter, this);
}

void CEscTipWnd::showEvent(QShowEvent* ev)
{
    m_pHideTimer->stop();
    CentreOnScreen();
    m_pHideTimer->start(m_nShowMs);
    QWidget::showEvent(ev);
}

void CEscTipWnd::hideEvent(QHideEvent* ev)
{
    MC_LOG(3, "CEscTipWnd::hideEvent", "<%d>\t<%s>,m_pEscWnd hide");
    m_pHideTimer->stop();
    QWidget::hideEvent(ev);
}

void CEscTipWnd::keyPressEvent(QKeyEvent* ev)
{
    if (ev->key() == Qt::Key_Escape) {
        emit KeyEscPressedSig();
    }
    QWidget::keyPressEvent(ev);
}

void CEscTipWnd::CentreOnScreen()
{
    QScreen* pScreen = parentWidget() ? parentWidget()->screen() : screen();
    if (!pScreen) {
        pScreen = QGuiApplication::primaryScreen();
    }
    if (!pScreen) {
        MC_LOG(5, "CEscTipWnd::CentreOnScreen", "<%d>\t<%s>,no screen, tip left where it is");
        return;
    }
    const QRect rcScreen = pScreen->geometry();
    move(rcScreen.left() + (rcScreen.width() - width()) / 2,
         rcScreen.top() + (rcScreen.height() - height()) / 2);
}
