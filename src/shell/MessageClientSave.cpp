// What the operator does beyond looking: saving the selected alarm's picture
// and clip into the configured folders, deleting from the detail side, the
// keys of the lists and of playback, the tips that confirm, and the criteria
// shown over a search result.
#include "shell/MessageClient.h"

#include "ui_MessageClient.h"

#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "base/CSaveTarget.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "playback/CClipSaveBar.h"
#include "playback/CClipSaver.h"
#include "playback/CPlayThread.h"
#include "playback/CVideoSdk.h"
#include "playback/CusSliderWnd.h"
#include "widgets/CMsgBox.h"
#include "widgets/CTipMsg.h"

#include <QDir>
#include <QEvent>
#include <QThreadPool>

#include <algorithm>

namespace {

const char* const kSnapSaved = "抓图成功";
const char* const kClipSaved = "录像保存成功";

// The picture as the row shows it: the image file as fetched when plain, the
// decrypted one when it was decrypted; nothing while it is still encrypted.
QByteArray SavablePicture(const CAlarmMsgWnd* pRow)
{
    if (!pRow->HasPic()) {
        return QByteArray();
    }
    if (pRow->IsDecrypted()) {
        return pRow->GetDecryptedPicBytes();
    }
    return pRow->GetAlarmInfo().isEncrypted == "1" ? QByteArray() : pRow->GetPicBytes();
}

} // namespace

void MessageClient::InitSaving()
{
    m_pClipSaver = new CClipSaver(this);
    connect(m_pClipSaver, &CClipSaver::sigFinished, this, &MessageClient::OnClipSaveFinished);
    m_pClipSaveBar = ui->clipSaveBar;
    m_pClipSaveBar->hide();
    connect(m_pClipSaver, &CClipSaver::sigProgress, m_pClipSaveBar, &CClipSaveBar::SetProgress);
    connect(m_pClipSaveBar, &CClipSaveBar::sigCancel, m_pClipSaver, &CClipSaver::Cancel);
    connect(ui->saveSnapBut, &QPushButton::clicked, this, &MessageClient::OnSaveSnapClicked);
    connect(ui->saveClipBut, &QPushButton::clicked, this, &MessageClient::OnSaveClipClicked);
    connect(ui->delMsgBut, &QPushButton::clicked, this, &MessageClient::OnDelMsgBtnClicked);
    // "保存图片" is usable exactly when "查看大图" is: both need the picture.
    ui->bigPicBut->installEventFilter(this);
    ui->saveSnapBut->setEnabled(ui->bigPicBut->isEnabled());
    UpdateClipSaveButton();
}

bool MessageClient::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == ui->bigPicBut && pEvent->type() == QEvent::EnabledChange) {
        ui->saveSnapBut->setEnabled(ui->bigPicBut->isEnabled());
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void MessageClient::ShowTip(int nKind, const QString& strText)
{
    // One tip at a time: a new one replaces the last.
    if (m_pLastTip) {
        m_pLastTip->close();
    }
    auto* pTip = new CTipMsg(this, nKind, strText);
    pTip->ShowOverParent(QPoint((width() - pTip->width()) / 2, (height() - pTip->height()) / 2));
    m_pLastTip = pTip;
}

// ---------------------------------------------------------------- snapshot

void MessageClient::OnSaveSnapClicked()
{
    if (!m_pSelectedMsgWnd) {
        return;
    }
    SaveSnapshot(m_pSelectedMsgWnd->GetAlarmInfo(), SavablePicture(m_pSelectedMsgWnd));
}

void MessageClient::slot_listSaveSnap(CAlarmMsgWnd* pRow)
{
    if (pRow) {
        SaveSnapshot(pRow->GetAlarmInfo(), SavablePicture(pRow));
    }
}

void MessageClient::SaveSnapshot(const ALARM_INFO_STRUCT& record, const QByteArray& baPicture)
{
    static const char* const kFn = "MessageClient::SaveSnapshot";
    if (baPicture.isEmpty()) {
        MC_LOG(3, kFn, "<%d>\t<%s>,message %d has no picture to save", record.id);
        ShowTip(1, QStringLiteral("抓图失败，图片未加载"));
        return;
    }
    const QString strFolder = CSaveTarget::Folder(CSaveTarget::Snapshot);
    const CSaveTarget::Status eFolder = CSaveTarget::CheckFolder(strFolder);
    if (eFolder != CSaveTarget::Ok) {
        MC_LOG(5, kFn, "<%d>\t<%s>,snap_folder \"%s\" refused: %d", strFolder.toLocal8Bit().constData(),
               static_cast<int>(eFolder));
        ShowTip(1, CSaveTarget::FailureText(CSaveTarget::Snapshot, eFolder));
        return;
    }
    const QString strPath =
        QDir(strFolder).filePath(CSaveTarget::FileName(record, CSaveTarget::PictureExtension(baPicture)));
    // The file is written off the GUI thread; the answer comes back through a
    // relay that outlives the window, should it close meanwhile.
    auto* pRelay = new QObject;
    const QPointer<MessageClient> pSelf(this);
    QThreadPool::globalInstance()->start([pRelay, pSelf, strPath, baPicture] {
        const int nStatus = CSaveTarget::WriteFile(strPath, baPicture);
        QMetaObject::invokeMethod(
            pRelay,
            [pRelay, pSelf, nStatus, strPath] {
                if (pSelf) {
                    pSelf->OnSnapshotWritten(nStatus, strPath);
                }
                pRelay->deleteLater();
            },
            Qt::QueuedConnection);
    });
}

void MessageClient::OnSnapshotWritten(int nStatus, const QString& strPath)
{
    if (nStatus != CSaveTarget::Ok) {
        ShowTip(1,
                CSaveTarget::FailureText(CSaveTarget::Snapshot, static_cast<CSaveTarget::Status>(nStatus)));
        return;
    }
    MC_LOG(3, "MessageClient::OnSnapshotWritten", "<%d>\t<%s>,snapshot saved: %s",
           strPath.toLocal8Bit().constData());
    ShowTip(0, QString::fromUtf8(kSnapSaved));
}

// ---------------------------------------------------------------- clip

void MessageClient::RememberClipOfSelection(const std::string& strCode)
{
    // What the clip on screen was played with: the save fetches the same span
    // with the same code, whatever the worker does next.
    m_tClipMsg = m_tSelectedMsg;
    m_strClipCode = strCode;
    m_strClipStart = m_pPlayThread ? m_pPlayThread->SearchStartTime() : std::string();
    m_strClipStop = m_pPlayThread ? m_pPlayThread->SearchStopTime() : std::string();
    m_bClipSavable = !m_strClipStart.empty() && !m_strClipStop.empty();
    UpdateClipSaveButton();
}

void MessageClient::UpdateClipSaveButton()
{
    ui->saveClipBut->setEnabled(m_bClipSavable && m_pClipSaver && !m_pClipSaver->IsBusy());
}

void MessageClient::OnSaveClipClicked()
{
    static const char* const kFn = "MessageClient::OnSaveClipClicked";
    if (!m_bClipSavable || !m_pClipSaver || m_pClipSaver->IsBusy()) {
        return;
    }
    const QString strFolder = CSaveTarget::Folder(CSaveTarget::Clip);
    const CSaveTarget::Status eFolder = CSaveTarget::CheckFolder(strFolder);
    if (eFolder != CSaveTarget::Ok) {
        MC_LOG(5, kFn, "<%d>\t<%s>,rec_folder \"%s\" refused: %d", strFolder.toLocal8Bit().constData(),
               static_cast<int>(eFolder));
        ShowTip(1, CSaveTarget::FailureText(CSaveTarget::Clip, eFolder));
        return;
    }
    CClipSaver::Request request;
    request.strSerial = m_tClipMsg.deviceSerial;
    request.nChannelNo = m_tClipMsg.channelNo;
    request.strCode = m_strClipCode;
    request.strStartTime = m_strClipStart;
    request.strStopTime = m_strClipStop;
    request.strPath = QDir(strFolder).filePath(CSaveTarget::FileName(m_tClipMsg, QStringLiteral("mkv")));
    // The cloud is opened with the token the clip was played with.
    const LaunchValues values = LaunchValues::snapshot();
    CVideoSdk::instance()->SetAccessToken(m_tClipMsg.nTrust > 0 ? values.TrustAccessToken
                                                                : values.AccessToken);
    QString strReason;
    int nStatus = CSaveTarget::Ok;
    if (!m_pClipSaver->Start(request, &strReason, &nStatus)) {
        const auto eStatus =
            nStatus != CSaveTarget::Ok ? static_cast<CSaveTarget::Status>(nStatus) : CSaveTarget::WriteFailed;
        ShowTip(1, CSaveTarget::FailureText(CSaveTarget::Clip, eStatus));
        return;
    }
    m_pClipSaveBar->SetProgress(0);
    ui->saveClipBut->hide();
    m_pClipSaveBar->show();
    UpdateClipSaveButton();
}

void MessageClient::OnClipSaveFinished(int nResult, QString strPath, QString strReason)
{
    m_pClipSaveBar->hide();
    ui->saveClipBut->show();
    UpdateClipSaveButton();
    MC_LOG(nResult == CClipSaver::Saved || nResult == CClipSaver::Cancelled ? 3 : 5,
           "MessageClient::OnClipSaveFinished", "<%d>\t<%s>,result:%d path:%s reason:%s", nResult,
           strPath.toLocal8Bit().constData(), strReason.toLocal8Bit().constData());
    switch (nResult) {
    case CClipSaver::Saved:
        ShowTip(0, QString::fromUtf8(kClipSaved));
        break;
    case CClipSaver::Cancelled:
        ShowTip(0, QStringLiteral("已取消保存录像"));
        break;
    case CClipSaver::DiskFull:
        ShowTip(1, CSaveTarget::FailureText(CSaveTarget::Clip, CSaveTarget::DiskFull));
        break;
    case CClipSaver::NoFrames:
        ShowTip(1, QStringLiteral("该告警消息无录像"));
        break;
    default:
        ShowTip(1, CSaveTarget::FailureText(CSaveTarget::Clip, CSaveTarget::WriteFailed));
        break;
    }
}

// ---------------------------------------------------------------- deletion

CListCtrl* MessageClient::ShownMsgList() const
{
    if (ui->leftTabWidget->currentIndex() == 5) {
        return m_pSearchMsgList;
    }
    return ui->resTab->currentIndex() == 1 ? m_pNotReadMsgList : m_pAllMsgList;
}

void MessageClient::OnDelMsgBtnClicked()
{
    const int nId = m_tSelectedMsg.id;
    if (nId < 0) {
        return;
    }
    CListCtrl* pList = ShownMsgList();
    const auto& rows = pList->ShownRows();
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [nId](const CAlarmMsgWnd* pRow) { return pRow->GetMsgId() == nId; });
    if (it != rows.end()) {
        // The list asks, deletes and opens the next message in its place.
        if (!pList->AskToDeleteRow(*it)) {
            return;
        }
    } else {
        auto* pBox = new CMsgBox(this, 0, 0, QStringLiteral("确定删除该消息吗？"));
        if (pBox->exec() != QDialog::Accepted) {
            return;
        }
        pList->HttpDeleteMsg(nId);
    }
    if (m_tSelectedMsg.id == nId) {
        // Nothing took its place (the page is empty now): the hint again.
        StopPlaybackOfSelection();
        m_bDetailShown = 0;
        m_bClipSavable = false;
        UpdateClipSaveButton();
        ui->rghtStkWgt->setCurrentWidget(ui->orgPage);
    }
}

void MessageClient::slot_listMsgDeleted(bool bDeleted)
{
    ShowTip(bDeleted ? 0 : 1, bDeleted ? QStringLiteral("删除成功") : QStringLiteral("删除失败，请稍后重试"));
}

void MessageClient::slot_listDeleteKey()
{
    if (sender() == m_pSearchMsgList) {
        SearchDeleteOk();
    } else {
        OnDeleteOkBtnClicked();
    }
}

void MessageClient::ForgetListSelection()
{
    for (CListCtrl* pList : {m_pAllMsgList, m_pNotReadMsgList, m_pSearchMsgList}) {
        if (pList) {
            pList->ClearCurrentRow();
        }
    }
}

// ---------------------------------------------------------------- keys

void MessageClient::slot_listPageKey(int nStep)
{
    auto* pList = qobject_cast<CListCtrl*>(sender());
    if (!pList) {
        return;
    }
    const bool bSearch = pList == m_pSearchMsgList;
    const int nType = bSearch ? 2 : (pList == m_pNotReadMsgList ? 1 : 0);
    if (bSearch) {
        OnSearchResPageChangedFunc(nStep);
    } else {
        OnPageChangedFunc(nType == 1 ? 0 : 1, nStep);
    }
    // The list hides behind the loading page while its new page comes; the
    // keys come back to it once the page is in.
    m_pKeyPagedList = ListTimerId(nType) != -1 ? pList : nullptr;
}

bool MessageClient::HandlePlaybackKey(int nKey)
{
    if (!m_bIsRecordPlaying || !m_pTransSlider) {
        return false;
    }
    return m_pTransSlider->HandlePlaybackKey(nKey);
}

// ---------------------------------------------------------------- search result

QString MessageClient::SearchCriteriaText() const
{
    static const char* const kReadTexts[] = {"未读", "已读", "全部"};
    static const char* const kEncryptTexts[] = {"未加密", "已加密", "全部"};
    const int nRead = std::clamp(ui->msgStatusCombox->currentIndex(), 0, 2);
    const int nEncrypt = std::clamp(ui->isEncryptCombox->currentIndex(), 0, 2);
    const QString strDevice = ui->alarmDevInput->text().trimmed();
    const QString strSpan = ui->fromTimeLab->text() + QStringLiteral(" 至 ") + ui->reachTimeLab->text();
    return strSpan.toHtmlEscaped() + QStringLiteral("<br>") +
           (strDevice.isEmpty() ? QStringLiteral("全部设备") : strDevice.toHtmlEscaped()) +
           QStringLiteral(" · 状态：") + QString::fromUtf8(kReadTexts[nRead]) + QStringLiteral(" · 加密：") +
           QString::fromUtf8(kEncryptTexts[nEncrypt]);
}

void MessageClient::ShowSearchCriteria(int nTotal)
{
    ui->searchCriteriaLab->setText(
        m_strSearchCriteria +
        QStringLiteral(" · 共 <span style=\"color:#6186ff;\">%1</span> 条").arg(std::max(nTotal, 0)));
}
