#include "alarms/CPasswdInputWnd.h"

#include "base/HostMessages.h"
#include "base/ModuleLog.h"
#include "native/CHostLink.h"
#include "ui_CPasswdInputWnd.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>

namespace {
// wParam of WM_PROCESS_SHOWWND that names this dialog to the host.
const WPARAM kShowWndDialog = 1;
const LPARAM kShown = 0;
const LPARAM kClosed = 1;
const int kErrTipMs = 2000;
} // namespace

CPasswdInputWnd::CPasswdInputWnd(QWidget* parent, QWidget* pModuleWnd)
    : QDialog(parent), ui(std::make_unique<Ui::PasswdInputWnd>())
{
    ui->setupUi(this);
    InitWindow();
    InitErrTip();
    AddShadow();
    ui->errMsg->hide();
    ui->OkBtn->setEnabled(false);
    connect(ui->closebtn, &QPushButton::clicked, this, &CPasswdInputWnd::OnCloseBtnClicked);
    connect(ui->OkBtn, &QPushButton::clicked, this, &CPasswdInputWnd::OnOkBtnClicked);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &CPasswdInputWnd::OnCancelBtnClicked);
    connect(ui->lineEdit, &QLineEdit::textChanged, this, &CPasswdInputWnd::OnLineEditFunc);
    FollowModuleWindow(pModuleWnd);
    ui->lineEdit->setFocus();
}

// A dialog deleted while the host still counts it as shown would leave the
// host waiting for a close that never comes.
CPasswdInputWnd::~CPasswdInputWnd()
{
    if (m_bOwnerToldShown) {
        NotifyOwner(kClosed);
    }
}

void CPasswdInputWnd::InitWindow()
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowModality(Qt::WindowModal);
}

void CPasswdInputWnd::InitErrTip()
{
    m_pErrTipLbl = new QLabel(QStringLiteral("密码有误"), this);
    m_pErrTipLbl->setObjectName(QStringLiteral("errTipLbl"));
    m_pErrTipLbl->setGeometry(100, 100, 100, 30);
    m_pErrTipLbl->setAlignment(Qt::AlignCenter);
    m_pErrTipLbl->setStyleSheet(QStringLiteral("border:none;font: 14px \"微软雅黑\";color:#ff6161;"
                                               "background-color:rgba(0,0,0,160);border-radius:4px;"));
    m_pErrTipLbl->hide();
    m_pErrTipTimer = new QTimer(this);
    m_pErrTipTimer->setSingleShot(true);
    m_pErrTipTimer->setInterval(kErrTipMs);
    connect(m_pErrTipTimer, &QTimer::timeout, this, &CPasswdInputWnd::OnHideErrLabSlot);
}

void CPasswdInputWnd::AddShadow()
{
    auto* pShadow = new QGraphicsDropShadowEffect(ui->widget);
    pShadow->setBlurRadius(10);
    pShadow->setColor(QColor(97, 134, 255, 127));
    pShadow->setOffset(0, 4);
    ui->widget->setGraphicsEffect(pShadow);
}

// The module window is handed in as a plain widget so that any window with
// the same signals can drive the dialog; hence the connection by signature.
void CPasswdInputWnd::FollowModuleWindow(QWidget* pModuleWnd)
{
    if (!pModuleWnd) {
        return;
    }
    const bool bLinked = connect(pModuleWnd, SIGNAL(HideWndSignal()), this, SLOT(OnHideSlot())) &&
                         connect(pModuleWnd, SIGNAL(ShowWndSignal()), this, SLOT(OnShowSlot())) &&
                         connect(pModuleWnd, SIGNAL(MainWndPosChanged()), this, SLOT(OnPosChangedSlot())) &&
                         connect(pModuleWnd, SIGNAL(WndSizeChangedSignal()), this, SLOT(OnPosChangedSlot()));
    if (!bLinked) {
        MC_LOG(5, "CPasswdInputWnd::FollowModuleWindow",
               "<%d>\t<%s>,module window lacks the window signals, not followed");
    }
}

void CPasswdInputWnd::SetPromptText(const QString& strText)
{
    ui->label_2->setText(strText);
}

void CPasswdInputWnd::SetErrLabVisible(bool bVisible)
{
    ui->errMsg->setVisible(bVisible);
}

void CPasswdInputWnd::SetOwnerWnd(HWND hWnd)
{
    m_hOwnerWnd = hWnd;
}

QString CPasswdInputWnd::InputText() const
{
    return ui->lineEdit->text();
}

void CPasswdInputWnd::ShowErrTip()
{
    m_pErrTipLbl->show();
    m_pErrTipLbl->raise();
    m_pErrTipTimer->start();
}

void CPasswdInputWnd::OnHideErrLabSlot()
{
    m_pErrTipTimer->stop();
    m_pErrTipLbl->hide();
}

void CPasswdInputWnd::OnLineEditFunc(const QString& str)
{
    ui->OkBtn->setEnabled(!str.isEmpty());
    ui->errMsg->hide();
}

void CPasswdInputWnd::OnOkBtnClicked()
{
    // Enter with an empty field must not accept an empty code.
    if (InputText().isEmpty()) {
        return;
    }
    Finish(QDialog::Accepted);
}

void CPasswdInputWnd::OnCancelBtnClicked()
{
    Finish(QDialog::Rejected);
}

void CPasswdInputWnd::OnCloseBtnClicked()
{
    Finish(QDialog::Rejected);
}

void CPasswdInputWnd::accept()
{
    OnOkBtnClicked();
}

void CPasswdInputWnd::reject()
{
    Finish(QDialog::Rejected);
}

void CPasswdInputWnd::Finish(int nResult)
{
    MC_LOG(3, "CPasswdInputWnd::Finish", "<%d>\t<%s>,result:%d", nResult);
    if (m_bOwnerToldShown) {
        NotifyOwner(kClosed);
    }
    m_bHiddenByModule = false;
    QDialog::done(nResult);
}

// Hidden without ending exec(): the caller's modal loop must survive the
// module being hidden, or the operator's answer would be lost as a cancel.
void CPasswdInputWnd::OnHideSlot()
{
    if (!isVisible()) {
        return;
    }
    m_bHiddenByModule = true;
    QWidget::setVisible(false);
}

void CPasswdInputWnd::OnShowSlot()
{
    if (!m_bHiddenByModule) {
        return;
    }
    m_bHiddenByModule = false;
    show();
}

void CPasswdInputWnd::OnPosChangedSlot()
{
    QWidget* pParent = parentWidget();
    if (!pParent) {
        return;
    }
    const QPoint ptCentre = pParent->mapToGlobal(pParent->rect().center());
    move(ptCentre - rect().center());
}

void CPasswdInputWnd::showEvent(QShowEvent* event)
{
    OnPosChangedSlot();
    NotifyOwner(kShown);
    m_bOwnerToldShown = m_hOwnerWnd != 0;
    QDialog::showEvent(event);
}

void CPasswdInputWnd::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OnOkBtnClicked();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CPasswdInputWnd::NotifyOwner(LPARAM nState)
{
    if (!m_hOwnerWnd) {
        return;
    }
    MC_LOG(3, "CPasswdInputWnd::NotifyOwner", "<%d>\t<%s>,WM_PROCESS_SHOWWND 1 %d", int(nState));
    native::SendMessage(m_hOwnerWnd, WM_PROCESS_SHOWWND, kShowWndDialog, nState);
    if (nState == kClosed) {
        m_bOwnerToldShown = false;
    }
}
