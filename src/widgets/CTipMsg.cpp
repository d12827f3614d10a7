#include "widgets/CTipMsg.h"

#include "base/CfgReader.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "ui_CTipMsg.h"

#include <QDesktopServices>
#include <QTimer>

namespace {

const int kAutoCloseMs = 3000;
const char* const kSnapText = "抓图成功";
const char* const kRecordText = "录像保存成功";

CTipMsg::FolderOpener& FolderOpenerHook()
{
    static CTipMsg::FolderOpener s_fnOpener;
    return s_fnOpener;
}

} // namespace

CTipMsg::CTipMsg(QWidget* parent, int nKind, const QString& strText)
    : QWidget(parent), ui(std::make_unique<Ui::TipMsg>())
{
    ui->setupUi(this);
    // A small window of its own over the parent, as the Esc tip and the control
    // bar are: drawn inside the parent it would lie under the record area's
    // native window, and under the video. It never takes the keys.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::NonModal);
    SetIcon(nKind);
    ui->msg->setText(strText.isEmpty() ? QStringLiteral("操作无权限") : strText);
    const bool bSaved = strText == QString::fromUtf8(kSnapText) || strText == QString::fromUtf8(kRecordText);
    ui->openBtn->setVisible(bSaved);
    if (!bSaved) {
        // No button to make room for: a failure's reason gets the width.
        ui->msg->setGeometry(ui->msg->x(), 0, ui->widget->width() - ui->msg->x() - 12, ui->widget->height());
    }
    ui->openBtn->setFocusPolicy(Qt::NoFocus);
    connect(ui->openBtn, &QPushButton::clicked, this, &CTipMsg::OpenSaveFolder);
    // The module window sits above this folder: it is linked by the signal's name.
    if (parent && parent->metaObject()->indexOfSignal("HideWndSignal()") >= 0) {
        connect(parent, SIGNAL(HideWndSignal()), this, SLOT(close()));
    } else {
        MC_LOG(3, "CTipMsg::CTipMsg", "<%d>\t<%s>,parent is not the module window, no hide link");
    }
    // Counted from construction, not from showing: a tip shown late still goes.
    QTimer::singleShot(kAutoCloseMs, this, &QWidget::close);
}

CTipMsg::~CTipMsg() = default;

void CTipMsg::ShowOverParent(const QPoint& ptInParent)
{
    const QWidget* pParent = parentWidget();
    move(pParent ? pParent->mapToGlobal(ptInParent) : ptInParent);
    show();
    raise();
}

void CTipMsg::SetIcon(int nKind)
{
    if (nKind == 0) {
        ui->label->setStyleSheet(QStringLiteral("border-image: url(:/Skin/main/icon_correct.png);"));
    } else if (nKind == 1) {
        ui->label->setStyleSheet(QStringLiteral("border-image: url(:/Skin/main/icon_error.png);"));
    }
}

QString CTipMsg::FolderForText(const QString& strText)
{
    std::string strKey;
    if (strText == QString::fromUtf8(kSnapText)) {
        strKey = "snap_folder";
    } else if (strText == QString::fromUtf8(kRecordText)) {
        strKey = "rec_folder";
    } else {
        return QString();
    }
    const std::string strCfgPath = LaunchValues::snapshot().CfgPath;
    return QString::fromLocal8Bit(ReadCfgString(strCfgPath, strKey, std::string()).c_str());
}

void CTipMsg::SetFolderOpener(FolderOpener fnOpener)
{
    FolderOpenerHook() = std::move(fnOpener);
}

void CTipMsg::OpenSaveFolder()
{
    const QString strText = ui->msg->text();
    const QString strFolder = FolderForText(strText);
    // Without a configured folder there is nothing sensible to open; a bare
    // opener call would only show some unrelated place.
    if (strFolder.isEmpty()) {
        MC_LOG(5, "CTipMsg::OpenSaveFolder", "<%d>\t<%s>,no folder configured for tip:%s",
               strText.toLocal8Bit().constData());
        return;
    }
    const QUrl url = QUrl::fromLocalFile(strFolder);
    const FolderOpener& fnHook = FolderOpenerHook();
    const bool bOpened = fnHook ? fnHook(url) : QDesktopServices::openUrl(url);
    MC_LOG(bOpened ? 3 : 5, "CTipMsg::OpenSaveFolder", "<%d>\t<%s>,open folder:%s result:%d",
           strFolder.toLocal8Bit().constData(), bOpened ? 1 : 0);
}
