// The detail side of the window: the selected alarm's picture with its code
// dialog and large view, the playback panel and its control bar with full
// screen.
#include "shell/MessageClient.h"

#include "ui_MessageClient.h"

#include "alarms/AlarmShared.h"
#include "alarms/BigPicWgt.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "alarms/CPasswdInputWnd.h"
#include "alarms/CPicCodeFlow.h"
#include "alarms/CPicLoad.h"
#include "alarms/CValidateCode.h"
#include "base/CfgReader.h"
#include "base/HostMessages.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "native/CHostLink.h"
#include "platform/CPlatformRequest.h"
#include "playback/ButLblWgt.h"
#include "playback/CEscTipWnd.h"
#include "playback/CPlayThread.h"
#include "playback/CVideoSdk.h"
#include "playback/CusSliderWnd.h"
#include "widgets/CTipMsg.h"

#include <QGuiApplication>
#include <QHostInfo>
#include <QMovie>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <json/json.h>

namespace {

const char* const kStyleFailed = "border-image:url(:/Skin/main/image_loading_failed_314x176.png);";
const char* const kStyleExpired = "border-image:url(:/Skin/main/image_overdue_314x176.png);";
const char* const kStyleEncrypted = "border-image:url(:/Skin/main/image_encrypted_314x176.png);";
const char* const kStyleCover = "border-image:url(:/Skin/main/image_default_cover_314x176.png);";

// Data-watch ticks without video data before the loading animation shows
// again, and before the clip counts as stalled.
constexpr int kBufferingTicks = 10;
constexpr int kStalledTicks = 40;

} // namespace

// ---------------------------------------------------------------- selection and picture

void MessageClient::OnMsgItemClickedSlot()
{
    static const char* const kFn = "MessageClient::OnMsgItemClickedSlot";
    // A decryption for the last selection is of no use to this one.
    delete m_pDetailLoad.data();
    // The playback panel goes back to its ready state first; the watches of
    // the last clip must not count against the next one.
    m_bDetailShown = 1;
    ui->rghtStkWgt->setCurrentWidget(ui->detailPage);
    if (m_pNotHasFrameTime->isActive()) {
        MC_LOG(3, kFn, "<%d>\t<%s>,m_pNotHasFrameTime->stop()");
        m_pNotHasFrameTime->stop();
    }
    MC_LOG(3, kFn, "<%d>\t<%s>,OnMsgItemClickedSlot OnStopRecordPlayFunc");
    OnStopRecordPlayFunc();
    m_pVideoFrameTimer->stop();
    m_pOsdTimer->stop();
    m_nNum = 0;
    m_bStartOverTime = false;
    ui->butLblWgt->SetLoading(false);
    ui->butLblWgt->ShowPlayButton(true);
    ui->recordNothingLab->hide();
    ui->rePlyBut->hide();
    m_bShowPlyBut = true;
    m_bClipSavable = false; // the last alarm's clip is not this one's
    UpdateClipSaveButton();

    ui->alarmTypeLab->setText(QString::fromLocal8Bit(m_tSelectedMsg.alarmType.c_str()));
    ui->alarmTimeLab->setText(m_tSelectedMsg.alarmTimeText);
    ui->alarmDevLab->setText(QString::fromLocal8Bit(m_tSelectedMsg.deviceName.c_str()));
    ShowSelectedPicture();
    MC_LOG(3, kFn, "<%d>\t<%s>,OnMsgItemClickedSlot end");
}

void MessageClient::SetDetailPicStyle(const char* szStyle)
{
    ui->picLab->clear();
    ui->picLab->setStyleSheet(QString::fromLatin1(szStyle));
}

void MessageClient::ShowDetailPicture(const QPixmap& picture)
{
    ui->picLab->setStyleSheet(QString());
    ui->picLab->setPixmap(
        picture.scaled(ui->picLab->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void MessageClient::ShowSelectedPicture()
{
    static const char* const kFn = "MessageClient::ShowSelectedPicture";
    if (m_tSelectedMsg.isEncrypted == "1") {
        SetDetailPicStyle(kStyleEncrypted);
    } else if (m_tSelectedMsg.isEncrypted == "0") {
        SetDetailPicStyle(kStyleCover);
    } else {
        SetDetailPicStyle(kStyleFailed); // no picture can be had; the last one must not stay
    }
    if (!m_pSelectedMsgWnd) {
        return;
    }
    if (!m_pSelectedMsgWnd->IsPicReqFinished()) {
        if (m_tSelectedMsg.isEncrypted == "0") {
            ui->msgNoteLbl->setText(QStringLiteral("图片加载中，请稍后..."));
            ui->msgNoteLbl->show();
            ui->msgNoteLbl->raise();
        }
        ui->bigPicBut->setEnabled(false);
        return;
    }
    if (m_pSelectedMsgWnd->IsPicFailed() && !NeedsPictureCode()) {
        SetDetailPicStyle(kStyleFailed);
        ui->refshPicPushBut->show();
        ui->refshPicPushBut->raise();
        ui->msgNoteLbl->hide();
        ui->bigPicBut->setEnabled(false);
        return;
    }
    ui->msgNoteLbl->hide();
    ui->refshPicPushBut->hide();
    if (m_pSelectedMsgWnd->IsPicOverdue()) {
        SetDetailPicStyle(kStyleExpired);
        ui->bigPicBut->setEnabled(false);
        return;
    }
    if (m_tSelectedMsg.isEncrypted == "1" && !m_pSelectedMsgWnd->IsDecrypted()) {
        ui->bigPicBut->setEnabled(false);
        m_pPicCodeFlow->SetPurpose(CPicCodeFlow::Purpose::Detail);
        const int nResponse = DecodeSelected();
        MC_LOG(3, kFn, "<%d>\t<%s>,DecodeImgFun response:%d", nResponse);
        if (nResponse == 2) {
            SetDetailPicStyle(kStyleEncrypted);
        }
        return; // a decryption under way ends in OnPictureDecrypted
    }
    ui->bigPicBut->setEnabled(true);
    const QPixmap picture = m_pSelectedMsgWnd->GetPicture();
    if (m_pSelectedMsgWnd->HasPic() && !picture.isNull()) {
        ShowDetailPicture(picture);
    }
}

int MessageClient::DecodeImgFun(bool isErrMsgVisible)
{
    if (isErrMsgVisible) {
        m_pEncrypt.clear();
    }
    bool bAsked = false;
    if (m_pEncrypt.empty() && isVisible()) {
        MC_LOG(3, "MessageClient::DecodeImgFun",
               "<%d>\t<%s>,m_pPassWdInputWnd->SetErrLabVisible isErrMsgVisible:%d", isErrMsgVisible ? 1 : 0);
        bAsked = true;
        if (!AskForCode(QStringLiteral("图片已加密，请输入密码查看"), isErrMsgVisible, m_pEncrypt)) {
            return kDecodeDropped;
        }
    }
    if (m_pEncrypt.empty()) {
        return 2;
    }
    int nResult = -1;
    decodeSuc(nResult, bAsked);
    return kDecodeStarted;
}

// A decryption of the selected picture starts from the code kept for its
// camera, if any.
int MessageClient::DecodeSelected()
{
    m_pEncrypt = FindDevCode(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo);
    return DecodeImgFun(false);
}

// The code typed into the dialog, or empty; false when another alarm was
// chosen while the dialog was open, so the code is not for the selection.
bool MessageClient::AskForCode(const QString& strPrompt, bool bShowError, std::string& strCode)
{
    if (m_pPassWdInputWnd) {
        // Asked again from inside the open dialog's exec(): that dialog stays,
        // this request gets no code.
        MC_LOG(5, "MessageClient::AskForCode", "<%d>\t<%s>,code dialog already open, request dropped");
        strCode.clear();
        return true;
    }
    const int nSelectedId = m_tSelectedMsg.id;
    QPointer<CPasswdInputWnd> pDialog = new CPasswdInputWnd(ui->recordArea, this);
    m_pPassWdInputWnd = pDialog;
    pDialog->SetPromptText(strPrompt);
    pDialog->SetErrLabVisible(bShowError);
    pDialog->SetOwnerWnd(OwnerWnd());
    const QPoint ptCentre = ui->recordArea->mapToGlobal(ui->recordArea->rect().center());
    pDialog->move(ptCentre - QPoint(pDialog->width() / 2, pDialog->height() / 2));
    MC_LOG(3, "MessageClient::AskForCode", "<%d>\t<%s>,m_pPassWdInputWnd->exec()");
    const int nResult = pDialog->exec();
    // The nested loop may have taken the dialog away (the window closing).
    const bool bAccepted = pDialog && nResult == QDialog::Accepted;
    strCode = bAccepted ? pDialog->InputText().toLocal8Bit().toStdString() : std::string();
    delete pDialog.data();
    return m_tSelectedMsg.id == nSelectedId;
}

bool MessageClient::NeedsPictureCode() const
{
    // An encrypted picture that failed for want of a code: the code dialog
    // can help where "刷新" cannot.
    return m_pSelectedMsgWnd && m_tSelectedMsg.isEncrypted == "1" && !m_pSelectedMsgWnd->IsDecrypted() &&
           FindDevCode(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo).empty() &&
           PlatformCode(m_tSelectedMsg).empty();
}

void MessageClient::decodeSuc(int& nIfDecSuc, bool bHasInputWnd)
{
    // The library fetches the picture: a round trip that must not hold the
    // window. The picture pool does it; OnPictureDecrypted goes on from there
    // in the order the operator would have seen. nIfDecSuc stays as it is
    // until then.
    Q_UNUSED(nIfDecSuc);
    delete m_pDetailLoad.data();
    const LaunchValues values = LaunchValues::snapshot();
    CPicRequest request = CAlarmMsgWnd::PicRequestFor(m_tSelectedMsg, m_pEncrypt);
    request.strToken = m_tSelectedMsg.nTrust == 0 ? values.AccessToken : values.TrustAccessToken;
    request.szShown = (QSizeF(ui->picLab->size()) * devicePixelRatioF()).toSize();
    m_pPicCodeFlow->Begin(m_tSelectedMsg.id, m_pEncrypt, bHasInputWnd);
    CPicLoad* pLoad = CPicLoad::Begin(request, this);
    m_pDetailLoad = pLoad;
    connect(pLoad, &CPicLoad::finished, this, [this, pLoad] { OnPictureDecrypted(pLoad); });
    if (pLoad->IsFinished()) {
        const QPointer<CPicLoad> pGuard(pLoad);
        QMetaObject::invokeMethod(
            this,
            [this, pGuard] {
                if (pGuard) {
                    OnPictureDecrypted(pGuard);
                }
            },
            Qt::QueuedConnection);
    }
}

void MessageClient::OnPictureDecrypted(CPicLoad* pLoad)
{
    static const char* const kFn = "MessageClient::OnPictureDecrypted";
    if (pLoad != m_pDetailLoad) {
        return;
    }
    const CPicResult result = pLoad->Result();
    m_pDetailLoad = nullptr;
    pLoad->deleteLater();
    if (!m_pPicCodeFlow->IsFor(m_tSelectedMsg.id)) {
        return; // another alarm was chosen meanwhile
    }
    const std::string strCode = m_pPicCodeFlow->Code();
    MC_LOG(3, kFn, "<%d>\t<%s>,m_pEncrypt:%s ret:%d iPicLen:%d", logkit::mask(strCode).c_str(), result.nRet,
           result.baDecrypted.size());
    if (result.nRet != 0 || result.baDecrypted.isEmpty()) {
        MC_LOG(5, kFn, "<%d>\t<%s>,nErrCode:%d", result.nErrCode);
        OnPictureNotDecrypted(result.nErrCode, result.strErrDesc);
        return;
    }
    if (result.imgShown.isNull()) {
        SetDetailPicStyle(kStyleFailed);
        ui->bigPicBut->setEnabled(false);
    } else {
        ui->bigPicBut->setEnabled(true);
        ShowDetailPicture(QPixmap::fromImage(result.imgShown));
        if (m_pSelectedMsgWnd) {
            m_pSelectedMsgWnd->SetDecryptedPicture(result.imgShown, result.baFetched, result.baDecrypted);
        }
    }
    if (m_pPicCodeFlow->KeepsCode()) {
        RememberCode(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo, strCode);
    }
    HandCodeToRows(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo, strCode);
    if (m_pPicCodeFlow->OpensBigPic(!result.imgShown.isNull())) {
        ShowBigPicture();
    }
}

void MessageClient::OnPictureNotDecrypted(int nErrCode, const std::string& strErrDesc)
{
    using Next = CPicCodeFlow::Next;
    if (m_pPicCodeFlow->GetPurpose() == CPicCodeFlow::Purpose::Detail) {
        MC_LOG(3, "MessageClient::OnPictureNotDecrypted", "<%d>\t<%s>,1 == response iErrCode:%d", nErrCode);
    }
    Next eNext = m_pPicCodeFlow->AfterFailure(nErrCode);
    if (eNext == Next::AskAgain) {
        const Next eNoCode = m_pPicCodeFlow->AfterNoCode();
        if (DecodeImgFun(true) != 2) {
            return; // decrypting again, or another alarm was chosen
        }
        eNext = eNoCode;
    }
    if (eNext == Next::BigPicExpired) {
        ShowBigPicExpired();
    } else if (eNext == Next::DetailExpired || eNext == Next::DetailFailed) {
        ShowDetailDecryptFailure(eNext == Next::DetailExpired, strErrDesc);
    }
}

void MessageClient::ShowBigPicExpired()
{
    m_pBigPicWgt->SetErrorStyle(QString::fromLatin1(kStyleEncrypted));
    setBigPicPosAndShow();
    native::SendMessage(m_hParentWnd, WM_PROCESS_SHOWWND, 10, 0);
    m_pBigPicWgt->SetOwnerWnd(OwnerWnd());
}

void MessageClient::ShowDetailDecryptFailure(bool bExpired, const std::string& strErrDesc)
{
    if (bExpired) {
        ui->refshPicPushBut->hide();
        SetDetailPicStyle(kStyleEncrypted);
    }
    MC_LOG(5, "MessageClient::ShowDetailDecryptFailure", "<%d>\t<%s>,DecryptPicture error:%s",
           strErrDesc.c_str());
    ui->msgNoteLbl->setText(QStringLiteral("解密失败"));
    ui->msgNoteLbl->show();
    ui->msgNoteLbl->raise();
}

void MessageClient::RememberCode(const std::string& strSerial, int nChannelNo, const std::string& strCode)
{
    const std::string strKey = DevCodeKey(strSerial, nChannelNo);
    if (DevCodeMap().find(strKey) == DevCodeMap().end()) {
        DevCodeMap().emplace(strKey, strCode);
    }
    HttpUpdateCamCode(strSerial, nChannelNo, strCode);
}

void MessageClient::HandCodeToRows(const std::string& strSerial, int nChannelNo, const std::string& strCode)
{
    if (!m_pCurMsgList) {
        return;
    }
    for (CAlarmMsgWnd* pRow : m_pCurMsgList->ShownRows()) {
        const ALARM_INFO_STRUCT& record = pRow->GetAlarmInfo();
        if (record.deviceSerial == strSerial && record.channelNo == nChannelNo) {
            MC_LOG(3, "MessageClient::HandCodeToRows", "<%d>\t<%s>,msgWndTemp->DecodeImage");
            pRow->DecodeImage(strCode);
        }
    }
}

void MessageClient::HttpUpdateCamCode(std::string strSerial, int channedlNo, std::string strCamCode)
{
    Json::Value body;
    body["deviceSerial"] = strSerial;
    body["channelNo"] = channedlNo;
    body["ipcValidateCode"] = strCamCode;
    body["clientType"] = 4;
    PostPlatformRequest("/api/resource/camera/modify/validatecode", QStringLiteral("UpdateCamCode"),
                        CPlatformRequest::WriteJson(body), QSsl::AnyProtocol);
}

void MessageClient::slot_msgPicUpdate(int nId, int bSuc)
{
    if (nId != m_tSelectedMsg.id) {
        return;
    }
    if (bSuc == 1 && NeedsPictureCode()) {
        // "查看大图" asks for the code; a refresh would fail the same way.
        SetDetailPicStyle(kStyleEncrypted);
        ui->refshPicPushBut->hide();
        ui->msgNoteLbl->hide();
        ui->bigPicBut->setEnabled(true);
        return;
    }
    if (bSuc == 1) {
        SetDetailPicStyle(kStyleFailed);
        ui->refshPicPushBut->show();
        ui->refshPicPushBut->raise();
        ui->bigPicBut->setEnabled(false);
        ui->msgNoteLbl->hide();
        return;
    }
    if (bSuc == 2) {
        ui->refshPicPushBut->hide();
        SetDetailPicStyle(kStyleExpired);
        ui->bigPicBut->setEnabled(false);
        return;
    }
    ui->refshPicPushBut->hide();
    ui->msgNoteLbl->hide();
    ui->bigPicBut->setEnabled(true);
    if (!m_pCurMsgList) {
        return;
    }
    CAlarmMsgWnd* pPressed = m_pCurMsgList->PressedRow();
    if (m_bRefreshPicPending && m_pSelectedMsgWnd) {
        m_bRefreshPicPending = false;
        m_tSelectedMsg = m_pSelectedMsgWnd->GetAlarmInfo();
        if (m_pSelectedMsgWnd->HasPic()) {
            ShowDetailPicture(m_pSelectedMsgWnd->GetPicture());
        }
        if (pPressed) {
            pPressed->CopyFrom(m_pSelectedMsgWnd);
        }
        return;
    }
    if (pPressed) {
        cpSelLstItemToCur(pPressed);
        m_tSelectedMsg = m_pSelectedMsgWnd->GetAlarmInfo();
        if (pPressed->HasPic()) {
            ShowDetailPicture(pPressed->GetPicture());
        }
    }
}

void MessageClient::slot_msgTrustUpdate(QString strDevserial, int nChannelNo, int nTrust)
{
    const std::string strSerial = strDevserial.toLocal8Bit().toStdString();
    if (m_pSelectedMsgWnd && m_pSelectedMsgWnd->GetAlarmInfo().deviceSerial == strSerial &&
        m_pSelectedMsgWnd->GetAlarmInfo().channelNo == nChannelNo) {
        m_pSelectedMsgWnd->SetTrust(nTrust);
    }
    if (ifCurSel(strSerial, nChannelNo)) {
        m_tSelectedMsg.nTrust = nTrust;
    }
}

void MessageClient::slot_clkRefMsgPic()
{
    if (!m_pSelectedMsgWnd) {
        return;
    }
    ui->msgNoteLbl->hide();
    ui->refshPicPushBut->hide();
    if (m_pSelectedMsgWnd->HasPic()) {
        ShowDetailPicture(m_pSelectedMsgWnd->GetPicture());
        ui->bigPicBut->setEnabled(true);
        return;
    }
    connect(m_pSelectedMsgWnd, &CAlarmMsgWnd::sigMsgPicUpdate, this, &MessageClient::slot_msgPicUpdate,
            Qt::UniqueConnection);
    m_bRefreshPicPending = true;
    m_pSelectedMsgWnd->SetWndSelected(true);
    m_pSelectedMsgWnd->LoadPicture();
}

// ---------------------------------------------------------------- large view

void MessageClient::ShowBigPicture()
{
    // The row keeps the picture as it came; picLab only holds a small copy.
    QPixmap picture;
    if (m_pSelectedMsgWnd && m_pSelectedMsgWnd->HasPic()) {
        picture = m_pSelectedMsgWnd->GetPicture();
    }
    if (picture.isNull()) {
        picture = ui->picLab->pixmap(Qt::ReturnByValue);
    }
    if (picture.isNull()) {
        return;
    }
    m_pBigPicWgt->SetPicture(picture);
    setBigPicPosAndShow();
    native::SendMessage(m_hParentWnd, WM_PROCESS_SHOWWND, 10, 0);
    m_pBigPicWgt->SetOwnerWnd(OwnerWnd());
}

void MessageClient::slot_showBigPicBut()
{
    if (!m_pBigPicWgt) {
        return;
    }
    m_pEncrypt.clear();
    if (m_tSelectedMsg.isEncrypted == "0") {
        ShowBigPicture();
        return;
    }
    if (m_tSelectedMsg.isEncrypted != "1") {
        return;
    }
    if (m_pSelectedMsgWnd && m_pSelectedMsgWnd->IsDecrypted()) {
        ShowBigPicture();
        m_pBigPicWgt->setFocus();
        return;
    }
    // Shown once the picture is decrypted (OnPictureDecrypted).
    m_pPicCodeFlow->SetPurpose(CPicCodeFlow::Purpose::BigPic);
    DecodeSelected();
}

void MessageClient::setBigPicPosAndShow()
{
    if (!m_pBigPicWgt) {
        return;
    }
    RECT rcHost{0, 0, 0, 0};
    QSize szHost = size();
    if (m_hParentWnd && native::GetWindowRect(m_hParentWnd, &rcHost)) {
        szHost = QSize(rcHost.right - rcHost.left, rcHost.bottom - rcHost.top);
    }
    m_pBigPicWgt->resize(szHost.width() + 4 * m_nBigPicMargin, szHost.height() + 3 * m_nBigPicMargin);
    const QPoint ptCorner = mapToGlobal(QPoint(0, 0));
    m_pBigPicWgt->move(ptCorner.x() - (m_nBigPicLeftInset + 2 * m_nBigPicMargin),
                       ptCorner.y() - m_nBigPicMargin);
    m_pBigPicWgt->show();
}

void MessageClient::SetBigPicShow(bool bShow)
{
    if (!m_pBigPicWgt) {
        return;
    }
    if (bShow) {
        if (m_bBigPicHiddenByHost) {
            m_bBigPicHiddenByHost = false;
            m_pBigPicWgt->show();
        }
        return;
    }
    if (m_pBigPicWgt->isVisible()) {
        m_pBigPicWgt->hide();
        m_bBigPicHiddenByHost = true;
    }
}

void MessageClient::slot_bigPicFocOut()
{
    // The large view stays until its close button or the host hides it.
}

// ---------------------------------------------------------------- playback panel

bool MessageClient::IsNetBusy()
{
    return ui->butLblWgt->IsAnimLabelVisible() && m_pLoadingMovie &&
           m_pLoadingMovie->state() == QMovie::Running;
}

bool MessageClient::bIfStartOverTime()
{
    return m_bStartOverTime;
}

void MessageClient::RepaintRecordArea()
{
    setAttribute(Qt::WA_Mapped);
    ui->recordArea->update();
}

void MessageClient::SetPlaybackTimings(int nPollMs, int nFirstFrameMs)
{
    m_nPollMs = nPollMs > 0 ? nPollMs : kPollMs;
    m_nFirstFrameTimeoutMs = nFirstFrameMs > 0 ? nFirstFrameMs : kFirstFrameTimeoutMs;
}

void MessageClient::OnMsgRecordBtnClicked()
{
    MC_LOG(3, "MessageClient::OnMsgRecordBtnClicked", "<%d>\t<%s>,click play");
    const QString strSender = sender() ? sender()->objectName() : QString();
    if (strSender == QLatin1String("butLblWgt")) {
        m_bShowPlyBut = false;
    } else if (strSender == QLatin1String("rePlyBut")) {
        m_bShowPlyBut = false;
        ui->rePlyBut->hide();
    }
    RepaintRecordArea();
    RecordPlayFunc();
}

bool MessageClient::IsNetworkReachable()
{
    // The reachability check resolves the configured host, by default the
    // platform's own.
    const LaunchValues values = LaunchValues::snapshot();
    std::string strHost = ReadCfgString(values.CfgPath, "probe_host", "");
    if (strHost.empty()) {
        strHost = QUrl(QString::fromLocal8Bit(values.ServerUrl.c_str())).host().toLocal8Bit().toStdString();
    }
    if (strHost.empty()) {
        return false;
    }
    return !QHostInfo::fromName(QString::fromLocal8Bit(strHost.c_str())).addresses().isEmpty();
}

void MessageClient::RecordPlayFunc()
{
    static const char* const kFn = "MessageClient::RecordPlayFunc";
    MC_LOG(3, kFn, "<%d>\t<%s>,RecordPlayFunc in");
    if (!IsNetworkReachable()) {
        auto* pTip = new CTipMsg(this, 1, QStringLiteral("网络异常"));
        pTip->ShowOverParent(QPoint(width() / 2, height() / 2));
        return;
    }
    if (m_pSelectedMsgWnd) {
        m_tSelectedMsg = m_pSelectedMsgWnd->GetAlarmInfo();
    }
    if (m_tSelectedMsg.id == -1) {
        ui->butLblWgt->ShowAnimLabel(true);
        ui->recordNothingLab->show();
        return;
    }
    ui->butLblWgt->hide();
    ui->recordNothingLab->hide();
    m_pEncrypt = FindDevCode(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo);
    m_bRecordPlayHasInputWnd = false;
    if (m_pEncrypt.empty()) {
        m_pEncrypt = PlatformCode(m_tSelectedMsg);
    }
    if (m_tSelectedMsg.isEncrypted == "0") {
        StartAttempt(true);
        return;
    }
    if (m_tSelectedMsg.isEncrypted != "1") {
        return;
    }
    if (m_pEncrypt.empty() && isVisible()) {
        MC_LOG(3, kFn, "<%d>\t<%s>,m_pPassWdInputWnd->SetErrLabVisible(false)");
        if (!AskForCode(QStringLiteral("视频已加密，请输入密码查看"), false, m_pEncrypt)) {
            return;
        }
        if (!m_pEncrypt.empty()) {
            MC_LOG(3, kFn, "<%d>\t<%s>,play input code");
            m_bRecordPlayHasInputWnd = true;
            MC_LOG(3, kFn, "<%d>\t<%s>,decodeSuc");
            int nResult = -1;
            m_pPicCodeFlow->SetPurpose(CPicCodeFlow::Purpose::Playback);
            decodeSuc(nResult, true);
        }
    }
    if (!m_pEncrypt.empty()) {
        StartAttempt(true);
        return;
    }
    ui->recordNothingLab->setText(QStringLiteral("录像加密"));
    ui->recordNothingLab->show();
    ui->rePlyBut->raise();
    ui->rePlyBut->show();
}

std::string MessageClient::PlatformCode(const ALARM_INFO_STRUCT& record)
{
    // The platform sends the camera's code encrypted; the library needs it
    // in clear, as the row decrypted it for the picture.
    if (!record.validateCode.empty()) {
        return record.validateCode;
    }
    return CValidateCode::Decrypt(record.ipcValidateCode, LaunchValues::snapshot().AesKey);
}

void MessageClient::StartAttempt(bool bWithTimeout)
{
    if (!m_pPlayThread) {
        return;
    }
    m_pPlayThread->SetAlarmTime(m_tSelectedMsg.alarmTime, m_tSelectedMsg.alarmTimeText);
    if (bWithTimeout) {
        if (!m_pNotHasFrameTime->isActive()) {
            m_bStartOverTime = false;
            m_pNotHasFrameTime->start(m_nFirstFrameTimeoutMs);
        }
        VideoStartImge(1);
    }
    m_pPlayThread->StartPlay(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo, m_pEncrypt,
                             m_tSelectedMsg.nTrust > 0 ? 1 : 0);
}

void MessageClient::VideoStartImge(int nType)
{
    if (nType != 1) {
        return;
    }
    ui->butLblWgt->ShowAnimLabel(true);
    ui->butLblWgt->SetLoading(true);
}

void MessageClient::VideoStopImg(int /*type*/)
{
    ui->butLblWgt->SetLoading(false);
    ui->recordNothingLab->clear();
    ui->recordNothingLab->hide();
}

void MessageClient::OnRealPlayFirstFrameSlot(std::string devSerial, std::string devEncryptCode,
                                             QString strAlarmTm)
{
    static const char* const kFn = "MessageClient::OnRealPlayFirstFrameSlot";
    m_pNotHasFrameTime->stop();
    MC_LOG(3, kFn, "<%d>\t<%s>,OnRealPlayFirstFrameSlot");
    if (!m_pSelectedMsgWnd) {
        return;
    }
    if (DevCodeKey(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo) != devSerial ||
        m_tSelectedMsg.alarmTimeText != strAlarmTm) {
        StopStrayPlayback();
        return;
    }
    m_pOsdTimer->start(m_nPollMs);
    RememberClipOfSelection(devEncryptCode);
    if (m_bRecordPlayHasInputWnd && DevCodeMap().find(devSerial) == DevCodeMap().end()) {
        DevCodeMap().emplace(devSerial, devEncryptCode);
        HttpUpdateCamCode(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo, devEncryptCode);
        HandCodeToRows(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo, devEncryptCode);
    }
    if (m_pSelectedMsgWnd->GetPicCode().empty()) {
        m_pSelectedMsgWnd->SetPicCode(devEncryptCode);
    }
    if (!ui->bigPicBut->isEnabled() && m_pSelectedMsgWnd->HasPic()) {
        ShowDetailPicture(m_pSelectedMsgWnd->GetPicture());
        ui->refshPicPushBut->hide();
        ui->bigPicBut->setEnabled(true);
    }
    ui->butLblWgt->SetLoading(false);
    m_pLoadingMovie->stop();
    ui->recordNothingLab->hide();
    ui->rePlyBut->hide();
    RepaintRecordArea();
    m_bIsRecordPlaying = true;
    MC_LOG(3, kFn, "<%d>\t<%s>,OnRealPlayFirstFrameSlot UpdateCusSlider before");
    UpdateCusSlider();
    MC_LOG(2, kFn, "<%d>\t<%s>,m_pTransSlider->show()");
    m_pTransSlider->SetPlayChecked(true);
    if (m_bDetailShown) {
        m_pTransSlider->show();
    }
    if (m_pBigPicWgt && m_pBigPicWgt->isVisible()) {
        m_pBigPicWgt->activateWindow();
    }
    m_bRecordPlayHasInputWnd = false;
}

void MessageClient::StopStrayPlayback()
{
    // A first frame of an alarm no longer selected: that playback ends quietly.
    if (m_pPlayThread && m_pPlayThread->IsRecordPlaying()) {
        m_pNotHasFrameTime->stop();
        m_pVideoFrameTimer->stop();
        m_pPlayThread->StopRecordPlay();
        m_pTransSlider->UpdateVideoSlider(0);
        MC_LOG(2, "MessageClient::StopStrayPlayback", "<%d>\t<%s>,m_pTransSlider->hide()");
        m_pTransSlider->hide();
        m_bIsRecordPlaying = false;
    }
}

void MessageClient::hasVideoFrameSlot(int /*nType*/, bool bFlag)
{
    if (!m_bIsRecordPlaying) {
        return;
    }
    // A data block queued before the operator paused arrives after the pause;
    // it must not start the watch of a clip that is meant to stand still.
    const bool bPaused = bFlag || (m_pPlayThread && m_pPlayThread->IsPaused());
    m_nNum = 0;
    ui->butLblWgt->SetLoading(false);
    ui->butLblWgt->hide();
    ui->recordNothingLab->clear();
    ui->recordNothingLab->hide();
    if (bPaused) {
        m_pVideoFrameTimer->stop();
    } else if (!m_pVideoFrameTimer->isActive()) {
        m_pVideoFrameTimer->start(m_nPollMs);
    }
}

void MessageClient::OnVideoFrameTimeSlot()
{
    if (!m_bIsRecordPlaying) {
        return;
    }
    if (m_pPlayThread && m_pPlayThread->IsPaused()) {
        m_pVideoFrameTimer->stop();
        m_nNum = 0;
        return;
    }
    ++m_nNum;
    if (m_nNum >= kBufferingTicks && m_nNum < kStalledTicks) {
        if (m_pPlayThread) {
            ui->butLblWgt->ShowAnimLabel(true);
            ui->butLblWgt->SetLoading(true);
            ui->butLblWgt->raise();
            emit VideoStartSignal(1);
        }
    } else if (m_nNum >= kStalledTicks) {
        MC_LOG(4, "MessageClient::OnVideoFrameTimeSlot",
               "<%d>\t<%s>,OnVideoFrameTimeSlot m_nNum > 40 hasn't frame");
        m_pVideoFrameTimer->stop();
        m_pOsdTimer->stop();
        OnStopRecordPlayFunc();
        ShowStalled();
    }
}

void MessageClient::ShowStalled()
{
    ui->recordNothingLab->setText(QStringLiteral("网络卡顿码流异常"));
    ui->recordNothingLab->show();
    ui->butLblWgt->SetLoading(false);
    ui->butLblWgt->hide();
    ui->rePlyBut->raise();
    ui->rePlyBut->show();
    RepaintRecordArea();
}

void MessageClient::OnHasNotFrameTimeOut()
{
    if (m_bIsRecordPlaying) {
        return;
    }
    if (m_pNotHasFrameTime->isActive()) {
        MC_LOG(3, "MessageClient::OnHasNotFrameTimeOut", "<%d>\t<%s>,m_pNotHasFrameTime->stop()");
        m_pNotHasFrameTime->stop();
    }
    m_bStartOverTime = true;
    OnStopRecordPlayFunc();
    ShowStalled();
}

void MessageClient::slot_getOSDTmTimerOut()
{
    if (m_pPlayThread && m_pPlayThread->IsRecordPlaying()) {
        m_pPlayThread->GetPlayTime();
    }
}

void MessageClient::OnStopRecordPlayFunc()
{
    static const char* const kFn = "MessageClient::OnStopRecordPlayFunc";
    MC_LOG(3, kFn, "<%d>\t<%s>,m_bIsRecordPlaying:%d", m_bIsRecordPlaying ? 1 : 0);
    if (m_bIsRecordPlaying && m_pPlayThread) {
        MC_LOG(3, kFn, "<%d>\t<%s>,IsRecordPlaying:%d", m_pPlayThread->IsRecordPlaying() ? 1 : 0);
        if (m_pPlayThread->IsRecordPlaying() || m_pPlayThread->IsPlayRequested()) {
            // The worker's stop is complete when it returns: nothing to wait
            // for, so no click or host command runs inside a half-done stop.
            m_pPlayThread->StopRecordPlay();
            m_pTransSlider->UpdateVideoSlider(0);
        }
        m_bIsRecordPlaying = false;
    } else if (m_pPlayThread && m_pPlayThread->IsPlayRequested()) {
        // A start still searching must not come up after the operator left it.
        m_pPlayThread->StopRecordPlay();
    }
    if (m_pTransSlider && m_pTransSlider->isVisible()) {
        MC_LOG(4, kFn, "<%d>\t<%s>,m_pTransSlider->hide()");
        m_pTransSlider->hide();
    }
    RepaintRecordArea();
    MC_LOG(3, kFn, "<%d>\t<%s>,OnStopRecordPlayFunc end");
}

void MessageClient::StopPlaybackOfSelection()
{
    OnStopRecordPlayFunc();
}

void MessageClient::OnRecordPlayExceptionSlot(QString strMsg)
{
    static const char* const kFn = "MessageClient::OnRecordPlayExceptionSlot";
    ui->butLblWgt->SetLoading(false);
    ui->butLblWgt->hide();
    m_pNotHasFrameTime->stop();
    m_pVideoFrameTimer->stop();
    m_pOsdTimer->stop();
    MC_LOG(2, kFn, "<%d>\t<%s>,m_pTransSlider->hide()");
    m_pTransSlider->hide();
    const bool bWrongCode = strMsg == QStringLiteral("验证码错误");
    if (bWrongCode) {
        ui->recordNothingLab->clear();
    } else if (!strMsg.isEmpty()) {
        ui->recordNothingLab->setText(strMsg);
    }
    ui->recordNothingLab->show();
    m_bIsRecordPlaying = false;
    m_pTransSlider->SetPlayChecked(false);
    MC_LOG(3, kFn, "<%d>\t<%s>,m_bShowPlyBut:%d", m_bShowPlyBut ? 1 : 0);
    if (m_bShowPlyBut) {
        ui->butLblWgt->ShowPlayButton(true);
        ui->recordNothingLab->hide();
    } else {
        ui->butLblWgt->hide();
        const bool bRetry =
            strMsg == QStringLiteral("该告警消息无录像") || strMsg == QStringLiteral("通道不存在");
        ui->rePlyBut->setText(bRetry ? QStringLiteral("重试") : QStringLiteral("重新播放"));
        ui->rePlyBut->raise();
        ui->rePlyBut->show();
        RepaintRecordArea();
    }
    MC_LOG(3, kFn, "<%d>\t<%s>,m_bRecordPlayHasInputWnd = false");
    m_bRecordPlayHasInputWnd = false;
    if (bWrongCode && isVisible() && m_pPlayThread) {
        AskAgainForPlaybackCode();
    }
}

void MessageClient::AskAgainForPlaybackCode()
{
    static const char* const kFn = "MessageClient::AskAgainForPlaybackCode";
    std::string strDevKey;
    QString strAlarmTime;
    m_pPlayThread->GetCamInfo(strDevKey, strAlarmTime);
    const std::string strSelectedKey = DevCodeKey(m_tSelectedMsg.deviceSerial, m_tSelectedMsg.channelNo);
    MC_LOG(3, kFn, "<%d>\t<%s>,m_pPlayThread devSerialNoStr:%s, strAlarmTime:%s", strDevKey.c_str(),
           strAlarmTime.toLocal8Bit().constData());
    MC_LOG(3, kFn, "<%d>\t<%s>,m_tSelectedMsg devSerialNoStr:%s, strAlarmTime:%s", strSelectedKey.c_str(),
           m_tSelectedMsg.alarmTimeText.toLocal8Bit().constData());
    if (strDevKey != strSelectedKey || strAlarmTime != m_tSelectedMsg.alarmTimeText) {
        return;
    }
    if (m_pEncrypt.empty()) {
        ui->recordNothingLab->clear();
    }
    // A code the operator typed keeps the error text; the platform's does not.
    const bool bShowError = !(m_pEncrypt.empty() || m_pEncrypt == PlatformCode(m_tSelectedMsg));
    m_pEncrypt.clear();
    if (!AskForCode(QStringLiteral("视频已加密，请输入密码查看"), bShowError, m_pEncrypt) ||
        m_pEncrypt.empty()) {
        return;
    }
    m_bRecordPlayHasInputWnd = true;
    // The retry is an attempt like any other: loading shown, first frame
    // awaited for a bounded time, the replay button out of the way.
    ui->recordNothingLab->hide();
    ui->rePlyBut->hide();
    StartAttempt(true);
}

void MessageClient::NotHasRecordSlot()
{
    m_nNum = -1;
    m_pNotHasFrameTime->stop();
    m_pVideoFrameTimer->stop();
    ui->butLblWgt->SetLoading(false);
    ui->butLblWgt->ShowAnimLabel(true);
    ui->recordNothingLab->setText(QStringLiteral("该告警无录像"));
    ui->recordNothingLab->show();
    ui->rePlyBut->raise();
    ui->rePlyBut->show();
}

void MessageClient::OnRePlayAnother(std::string /*encryptCode*/)
{
    m_pEncrypt.clear();
    OnStopRecordPlayFunc();
    RecordPlayFunc();
}

// ---------------------------------------------------------------- control bar and full screen

void MessageClient::UpdateCusSlider()
{
    static const char* const kFn = "MessageClient::UpdateCusSlider";
    if (!m_pTransSlider || !m_bIsRecordPlaying) {
        return;
    }
    const QSize szArea = ui->recordArea->size();
    MC_LOG(3, kFn, "<%d>\t<%s>,szRecArea width:%d, height:%d", szArea.width(), szArea.height());
    m_pTransSlider->resize(szArea.width(), m_nTransSliderHeight);
    MC_LOG(3, kFn, "<%d>\t<%s>,m_pTransSlider width:%d, height:%d", m_pTransSlider->width(),
           m_pTransSlider->height());
    const QPoint ptArea = mapToGlobal(ui->recordArea->mapTo(this, QPoint(0, 0)));
    m_pTransSlider->move(ptArea.x(), ptArea.y() + szArea.height() - m_nTransSliderHeight);
    if (m_bDetailShown == 1) {
        m_pTransSlider->show();
    }
}

// The bar is a window of its own: a window manager that raises the module
// window on activation (after the large view or a dialog closes, or a click)
// would bury it under the module while the clip still plays.
void MessageClient::RaiseControlBar()
{
    if (m_pTransSlider && m_bIsRecordPlaying && m_bDetailShown == 1) {
        m_pTransSlider->show();
        m_pTransSlider->raise();
    }
}

void MessageClient::OnSliderPressedOrDraged()
{
    if (m_pTransSlider) {
        m_pTransSlider->SetPlayingQuietly();
    }
}

void MessageClient::OnMaxOrNotBtnClicked()
{
    emit sig_FullScreen(!m_bFullScreen, 3);
    if (!m_bFullScreen) {
        EnterFullScreen();
    } else {
        LeaveFullScreen();
    }
    m_bFullScreen = !m_bFullScreen;
    // However the switch was asked for (box, Esc on the bar, the tip or the
    // window), the box shows the state the layout is in.
    if (m_pTransSlider) {
        m_pTransSlider->SetFullScreenChecked(m_bFullScreen);
    }
}

void MessageClient::EnterFullScreen()
{
    ui->leftFrame->hide();
    ui->detlFram->hide();
    ui->label_3->hide();
    // The title's row goes with it, so the video reaches the top of the screen.
    ui->recdTitleRow->hide();
    m_rcRecordArea = ui->recordArea->geometry();
    ui->verticalLayout_8->setContentsMargins(0, 0, 0, 0);
    if (m_pEscWnd) {
        const QPoint ptCentre = ui->recordArea->mapToGlobal(ui->recordArea->rect().center());
        m_pEscWnd->move(ptCentre - QPoint(m_pEscWnd->width() / 2, m_pEscWnd->height() / 2));
        m_pEscWnd->show();
    }
    if (m_bIsRecordPlaying && m_pTransSlider) {
        const QScreen* pScreen = screen();
        const QRect rcScreen = pScreen ? pScreen->geometry() : geometry();
        m_pTransSlider->resize(rcScreen.width() - 4, m_nTransSliderHeight);
        m_pTransSlider->move(rcScreen.left() + 2, rcScreen.top() + rcScreen.height() - m_nTransSliderHeight);
        m_pTransSlider->show();
        m_pTransSlider->raise();
    }
}

void MessageClient::LeaveFullScreen()
{
    if (m_pEscWnd && m_pEscWnd->isVisible()) {
        m_pEscWnd->hide();
    }
    ui->leftFrame->show();
    ui->detlFram->show();
    ui->label_3->show();
    ui->recdTitleRow->show();
    ui->verticalLayout_8->setSpacing(8);
    ui->verticalLayout_8->setContentsMargins(24, 18, 274, 18);
    if (m_bIsRecordPlaying && m_pTransSlider) {
        const QPoint ptFrame = ui->recdFram->mapToGlobal(QPoint(0, 0));
        m_pTransSlider->resize(m_rcRecordArea.width(), m_nTransSliderHeight);
        m_pTransSlider->move(ptFrame.x() + 24,
                             ptFrame.y() + ui->recdFram->height() - m_nTransSliderHeight - 18);
        m_pTransSlider->show();
        m_pTransSlider->raise();
    }
}

void MessageClient::slot_escKeyPressed()
{
    if (!m_bFullScreen) {
        return; // Esc outside full screen has nothing to leave
    }
    if (m_pTransSlider) {
        m_pTransSlider->SetFullScreenChecked(false);
    }
    OnMaxOrNotBtnClicked();
}
