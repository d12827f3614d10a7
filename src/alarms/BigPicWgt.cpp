#include "alarms/BigPicWgt.h"

#include "base/HostMessages.h"
#include "base/ModuleLog.h"
#include "native/CHostLink.h"
#include "ui_BigPicWgt.h"

#include <QEvent>
#include <QKeyEvent>

namespace {
// wParam of WM_PROCESS_SHOWWND that names the large view to the host.
const WPARAM kShowWndBigPic = 10;
const LPARAM kClosed = 1;
const char* const kFailedStyle = "border-image:url(:/Skin/main/image_loading_failed_314x176.png);";
} // namespace

BigPicWgt::BigPicWgt(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::BigPicWgt>())
{
    ui->setupUi(this);
    InitWindow();
    // The label is resized by its layout; the picture is refitted each time.
    ui->picLbl->installEventFilter(this);
    connect(ui->clsBtn, &QPushButton::clicked, this, &BigPicWgt::slot_clkClsBtn);
}

BigPicWgt::~BigPicWgt() = default;

void BigPicWgt::InitWindow()
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowModality(Qt::WindowModal);
}

void BigPicWgt::SetPicture(const QPixmap& pix)
{
    if (pix.isNull()) {
        // Nothing to enlarge: show why instead of an empty white page.
        MC_LOG(5, "BigPicWgt::SetPicture", "<%d>\t<%s>,null picture, failed page shown");
        SetErrorStyle(QString::fromLatin1(kFailedStyle));
        return;
    }
    m_pixPicture = pix;
    ui->stackedWidget->setCurrentWidget(ui->picWgtPage);
    FitPicture();
}

void BigPicWgt::SetErrorStyle(const QString& strStyleSheet)
{
    m_pixPicture = QPixmap();
    ui->picLbl->clear();
    ui->errNoteLbl->setStyleSheet(strStyleSheet);
    ui->stackedWidget->setCurrentWidget(ui->errNotePage);
}

void BigPicWgt::SetOwnerWnd(HWND hWnd)
{
    m_hOwnerWnd = hWnd;
}

void BigPicWgt::slot_clkClsBtn()
{
    if (m_hOwnerWnd) {
        MC_LOG(3, "BigPicWgt::slot_clkClsBtn", "<%d>\t<%s>,WM_PROCESS_SHOWWND 10 1");
        native::SendMessage(m_hOwnerWnd, WM_PROCESS_SHOWWND, kShowWndBigPic, kClosed);
    }
    hide();
}

void BigPicWgt::reject()
{
    slot_clkClsBtn();
}

void BigPicWgt::FitPicture()
{
    if (m_pixPicture.isNull()) {
        return;
    }
    const QSize sizeArea = ui->picLbl->size();
    if (sizeArea.isEmpty()) {
        return;
    }
    ui->picLbl->setPixmap(m_pixPicture.scaled(sizeArea, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

// Only the close button closes the view; Escape and the other keys do nothing.
void BigPicWgt::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

void BigPicWgt::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) {
        emit sigFocOut();
    }
    QDialog::changeEvent(event);
}

bool BigPicWgt::eventFilter(QObject* pWatched, QEvent* event)
{
    if (pWatched == ui->picLbl && event->type() == QEvent::Resize) {
        FitPicture();
    }
    return QDialog::eventFilter(pWatched, event);
}
