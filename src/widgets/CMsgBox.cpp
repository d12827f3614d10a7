#include "widgets/CMsgBox.h"

#include "base/ModuleLog.h"
#include "ui_CMsgBox.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>

namespace {
// Mode 1 centres the lone OK button under the text.
const int kOkShiftSingle = 80;
} // namespace

CMsgBox::CMsgBox(QWidget* parent, int nBtnMode, int nIconKind, const QString& strText)
    : QDialog(parent), ui(std::make_unique<Ui::MsgBox>())
{
    ui->setupUi(this);
    InitWindow();
    ApplyButtonMode(nBtnMode);
    const QString strIconStyle = IconStyleForKind(nIconKind);
    if (!strIconStyle.isEmpty()) {
        ui->piclabel->setStyleSheet(strIconStyle);
    }
    ui->msgtext->setText(strText);
    // The buttons are wired by signature so the slots stay reachable by name.
    connect(ui->closebtn, SIGNAL(clicked()), this, SLOT(OnCloseBtnClicked()));
    connect(ui->cancelbtn, SIGNAL(clicked()), this, SLOT(OnCloseBtnClicked()));
    connect(ui->okbtn, SIGNAL(clicked()), this, SLOT(OnOkBtnClicked()));
    FollowModuleWindow(parent);
    AddShadow();
}

CMsgBox::~CMsgBox() = default;

QString CMsgBox::IconStyleForKind(int nIconKind)
{
    switch (nIconKind) {
    case 0:
    case 1:
        return QStringLiteral("border-image: url(:/Skin/msgbox/icon_hint.png);");
    case 2:
        return QStringLiteral("border-image: url(:/Skin/msgbox/icon_error.png);");
    default:
        return QString();
    }
}

void CMsgBox::InitWindow()
{
    setWindowOpacity(1.0);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowModality(Qt::WindowModal);
    m_bDragging = false;
    m_ptPress = QPoint(0, 0);
}

void CMsgBox::ApplyButtonMode(int nBtnMode)
{
    if (nBtnMode != 1) {
        return;
    }
    ui->okbtn->move(ui->okbtn->x() + kOkShiftSingle, ui->okbtn->y());
    ui->cancelbtn->hide();
}

// An open box must not outlive the module window's visibility: hiding the
// module closes it. The window sits above this folder, so the parent is linked
// by the signal's name; any other parent leaves the box to its caller.
void CMsgBox::FollowModuleWindow(QWidget* pParent)
{
    if (!pParent || pParent->metaObject()->indexOfSignal("HideWndSignal()") < 0) {
        MC_LOG(3, "CMsgBox::FollowModuleWindow", "<%d>\t<%s>,parent is not the module window, no hide link");
        return;
    }
    connect(pParent, SIGNAL(HideWndSignal()), this, SLOT(close()));
}

void CMsgBox::AddShadow()
{
    auto* pShadow = new QGraphicsDropShadowEffect(ui->widget);
    pShadow->setBlurRadius(10);
    pShadow->setColor(QColor(97, 134, 255, 127));
    pShadow->setOffset(0, 4);
    ui->widget->setGraphicsEffect(pShadow);
}

void CMsgBox::OnCloseBtnClicked()
{
    close();
}

void CMsgBox::OnOkBtnClicked()
{
    accept();
}

void CMsgBox::mousePressEvent(QMouseEvent* event)
{
    m_bDragging = true;
    m_ptPress = event->pos();
    QWidget::mousePressEvent(event);
}

void CMsgBox::mouseReleaseEvent(QMouseEvent* event)
{
    m_bDragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CMsgBox::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging) {
        move(event->globalPos() - m_ptPress);
    }
    QWidget::mouseMoveEvent(event);
}
