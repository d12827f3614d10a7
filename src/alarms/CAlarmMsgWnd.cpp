#include "alarms/CAlarmMsgWnd.h"

#include "alarms/AlarmShared.h"
#include "alarms/CValidateCode.h"
#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"
#include "playback/CVideoSdk.h"
#include "shell/LaunchValues.h"
#include "shell/ModuleLog.h"

#include "ui_CAlarmMsgWnd.h"

#include <QCoreApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <json/json.h>

namespace {

// Error codes of the video library's picture decryption.
constexpr int kErrCodeWrong = 100028;
constexpr int kErrCodeWrongPicture = 200006;
constexpr int kErrPicExpired = 200008;
constexpr int kErrTokenInvalid = 310002;

const char* const kCamInfoTag = "GetCamInfo";

const char* StyleOf(int eStyle)
{
    static const char* const kStyles[] = {
        "image:url(:/Skin/main/image_default_cover_101x57.png);",
        "image:url(:/Skin/main/image_encrypted_101x57.png);",
        "image:url(:/Skin/main/image_loading_failed_101x57.png);",
        "image:url(:/Skin/main/image_overdue_101x57.png);",
    };
    return kStyles[eStyle];
}

} // namespace

CAlarmMsgWnd::CAlarmMsgWnd(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::AlarmWnd>()), m_pManager(SharedManager())
{
    m_pUi->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    m_pUi->delSelectedCtrl->hide();
    m_strAesKey = LaunchValues::snapshot().AesKey;

    // Emitted on the GUI thread once a decryption result is back, so the
    // buffer changes hands synchronously and is never left in a queue.
    connect(this, &CAlarmMsgWnd::UpdatePicSignal, this, &CAlarmMsgWnd::OnUpdatePicSlot, Qt::DirectConnection);
    connect(m_pUi->delSelectedCtrl, &QCheckBox::clicked, this, &CAlarmMsgWnd::OnDelSelectedClicked);

    m_pReceiver = std::make_shared<CPicDecryptJob::CReceiver>(
        this, [this](const CPicDecryptResult& result) { OnDecryptFinished(result); });
}

CAlarmMsgWnd::~CAlarmMsgWnd()
{
    m_pReceiver->Close();
    // Replies still in flight belong to the shared manager: they are ended
    // here and never reach this row again.
    for (const QPointer<QNetworkReply>& pReply : {m_pPicReply, m_pCamInfoReply}) {
        if (pReply) {
            disconnect(pReply, nullptr, this, nullptr);
            pReply->abort();
            pReply->deleteLater();
        }
    }
}

QNetworkAccessManager* CAlarmMsgWnd::SharedManager()
{
    // One manager for every row: a page of rows then shares connections and
    // TLS sessions instead of opening one of each per row.
    static QPointer<QNetworkAccessManager> s_pManager;
    if (!s_pManager) {
        s_pManager = new QNetworkAccessManager(QCoreApplication::instance());
    }
    return s_pManager;
}

void CAlarmMsgWnd::ReleaseSharedConnections()
{
    SharedManager()->clearConnectionCache();
}

void CAlarmMsgWnd::WatchReply(QNetworkReply* reply)
{
    connect(reply, &QNetworkReply::finished, this, [this, reply] { ReplyPicFinished(reply); });
}

void CAlarmMsgWnd::SetAlarmInfo(ALARM_INFO_STRUCT tAlarmInfo)
{
    m_tCurAlarmInfo = std::move(tAlarmInfo);
    m_bRead = m_tCurAlarmInfo.isRead != "0";
    ShowTexts();
    m_strToken = ChooseToken();
    LoadPicture();
}

void CAlarmMsgWnd::ShowTexts()
{
    m_pUi->isReadLabel->setVisible(!m_bRead);
    m_pUi->timeLab->setText(m_tCurAlarmInfo.alarmTimeText);
    QLabel* pName = m_pUi->devNameLab;
    pName->ensurePolished();
    pName->setText(pName->fontMetrics().elidedText(QString::fromLocal8Bit(m_tCurAlarmInfo.deviceName.c_str()),
                                                   Qt::ElideRight, pName->width() - 2));
    m_pUi->AlarmTypeLab->setText(QString::fromLocal8Bit(m_tCurAlarmInfo.alarmType.c_str()));
}

std::string CAlarmMsgWnd::ChooseToken() const
{
    const LaunchValues values = LaunchValues::snapshot();
    return m_tCurAlarmInfo.nTrust != 0 ? values.TrustAccessToken : values.AccessToken;
}

void CAlarmMsgWnd::SetCheckBoxVisible(bool bVisible)
{
    // Leaving deletion mode unticks the box only: the list owns DeleteIdList
    // and may still be sending it.
    if (!bVisible) {
        m_bChecked = false;
        m_pUi->delSelectedCtrl->setChecked(false);
    }
    m_pUi->delSelectedCtrl->setVisible(bVisible);
}

void CAlarmMsgWnd::SetChecked(bool bChecked)
{
    m_pUi->delSelectedCtrl->setChecked(bChecked);
    m_bChecked = bChecked;
    if (bChecked) {
        AddDeleteId(m_tCurAlarmInfo.id);
    } else {
        RemoveDeleteId(m_tCurAlarmInfo.id);
    }
    emit sigMsgToDelete();
}

void CAlarmMsgWnd::OnDelSelectedClicked(bool bChecked)
{
    SetChecked(bChecked);
}

void CAlarmMsgWnd::SetRead()
{
    m_bRead = true;
    m_tCurAlarmInfo.isRead = "1";
    m_pUi->isReadLabel->hide();
}

void CAlarmMsgWnd::SetWndSelected(bool bSelected)
{
    m_pUi->AlarmTypeLab->setEnabled(!bSelected);
    m_pUi->timeLab->setEnabled(!bSelected);
    m_pUi->devNameLab->setEnabled(!bSelected);
    m_bSelected = bSelected;
    if (m_tCurAlarmInfo.nTrust == -1) {
        MC_LOG(3, "CAlarmMsgWnd::SetWndSelected", "<%d>\t<%s>,alarm msg time:%s m_tCurAlarmInfo.nTrust == -1",
               m_tCurAlarmInfo.alarmTimeText.toLocal8Bit().constData());
        PostCamInfo();
    }
}

void CAlarmMsgWnd::PostCamInfo()
{
    Json::Value body(Json::objectValue);
    body["clientType"] = 4;
    body["deviceSerial"] = m_tCurAlarmInfo.deviceSerial;
    body["channelNo"] = m_tCurAlarmInfo.channelNo;
    const QNetworkRequest request = CPlatformRequest::Build(
        LaunchValues::snapshot().ServerUrl + "/api/resource/v2/camera/info", QString::fromLatin1(kCamInfoTag),
        CPlatformRequest::JsonBody, true, QSsl::AnyProtocol);
    QNetworkReply* reply = CPlatformRequest::Post(*m_pManager, request, CPlatformRequest::WriteJson(body));
    m_pCamInfoReply = reply;
    WatchReply(reply);
}

void CAlarmMsgWnd::ParseCamInfo(const QByteArray& body)
{
    std::string strSerial;
    int nChannelNo = -1;
    int nTrust = 0;
    std::string strReason;
    if (!CJasonParse().ParseCamInfo(body.toStdString(), strSerial, nChannelNo, nTrust, &strReason)) {
        MC_LOG(5, "CAlarmMsgWnd::ParseCamInfo", "<%d>\t<%s>,ParseCamInfo Err:%s (%s)", strReason.c_str(),
               body.left(200).constData());
        return;
    }
    if (strSerial != m_tCurAlarmInfo.deviceSerial || nChannelNo != m_tCurAlarmInfo.channelNo) {
        MC_LOG(3, "CAlarmMsgWnd::ParseCamInfo", "<%d>\t<%s>,camera %s/%d is not this row's",
               strSerial.c_str(), nChannelNo);
        return;
    }
    m_tCurAlarmInfo.nTrust = nTrust;
    emit sigCamInfoUpdate(QString::fromLocal8Bit(strSerial.c_str()), nChannelNo, m_tCurAlarmInfo.nTrust);
}

void CAlarmMsgWnd::LoadPicture()
{
    if (!m_tCurAlarmInfo.ipcValidateCode.empty()) {
        m_strPicCode = CValidateCode::Decrypt(m_tCurAlarmInfo.ipcValidateCode, m_strAesKey);
        m_tCurAlarmInfo.validateCode = m_strPicCode;
    }
    m_bPicFailedBefore = m_bPicFailed;
    m_bPicReqFinished = false;
    m_bPicOverdue = false;
    m_strToken = ChooseToken();
    if (m_tCurAlarmInfo.isEncrypted == "0") {
        SetPicStyle(PicLoading);
        GetPlainPicture();
    } else if (m_tCurAlarmInfo.isEncrypted == "1") {
        SetPicStyle(PicEncrypted);
        m_strPicCode = FindDevCode(m_tCurAlarmInfo.deviceSerial, m_tCurAlarmInfo.channelNo);
        StartDecrypt();
    } else {
        MC_LOG(5, "CAlarmMsgWnd::LoadPicture", "<%d>\t<%s>,message %d: isEncrypted \"%s\", no picture",
               m_tCurAlarmInfo.id, m_tCurAlarmInfo.isEncrypted.c_str());
        SetPicStyle(PicFailed);
    }
}

void CAlarmMsgWnd::DecodeImage(const std::string& strCode)
{
    if (m_bDecrypted || m_tCurAlarmInfo.isEncrypted != "1") {
        return;
    }
    m_strPicCode = strCode;
    m_bPicFailedBefore = m_bPicFailed;
    m_bPicReqFinished = false;
    StartDecrypt();
}

void CAlarmMsgWnd::StartDecrypt()
{
    DropPicRequest();
    CPicDecryptRequest request;
    request.nGeneration = ++m_nPicGeneration;
    request.strToken = m_strToken;
    request.strPicUrl = m_tCurAlarmInfo.picUrl;
    request.strDevSerial = m_tCurAlarmInfo.deviceSerial;
    request.strCode = m_strPicCode;
    request.strIpcValidateCode = m_tCurAlarmInfo.ipcValidateCode;
    request.strAesKey = m_strAesKey;
    CPicDecryptJob::Start(std::move(request), m_pReceiver);
}

void CAlarmMsgWnd::OnDecryptFinished(const CPicDecryptResult& result)
{
    if (result.nGeneration != m_nPicGeneration) {
        return; // a later load has taken over; the buffer goes with the result
    }
    if (result.bNoCode) {
        m_bPicFailed = true;
        m_bPicReqFinished = true;
        ReportPic(1);
        return;
    }
    m_strPicCode = result.strCode;
    if (result.nRet == 0 && result.pBuffer && result.pBuffer->Data()) {
        const int nLen = result.pBuffer->Length();
        emit UpdatePicSignal(result.pBuffer->Release(), nLen);
        return;
    }
    OnDecryptFailed(result);
}

void CAlarmMsgWnd::OnDecryptFailed(const CPicDecryptResult& result)
{
    MC_LOG(5, "CAlarmMsgWnd::run", "<%d>\t<%s>,DecryptPicture serial:%s iErrCode:%d %s",
           m_tCurAlarmInfo.deviceSerial.c_str(), result.nErrCode, result.strErrDesc.c_str());
    m_bPicReqFinished = true;
    m_bDecrypted = false;
    m_bHasPic = false;
    switch (result.nErrCode) {
    case kErrCodeWrong:
    case kErrCodeWrongPicture:
        m_bPicFailed = true;
        emit UpdatePicSignal(nullptr, 0);
        break;
    case kErrPicExpired:
        m_bPicOverdue = true;
        m_bPicFailed = false;
        emit UpdatePicSignal(nullptr, 0);
        break;
    case kErrTokenInvalid:
        if (m_tCurAlarmInfo.nTrust == 0) {
            emit sigAcesLosEff();
        }
        break;
    default:
        ReportPic(1);
        break;
    }
    MC_LOG(3, "CAlarmMsgWnd::run", "<%d>\t<%s>,finished");
}

void CAlarmMsgWnd::OnUpdatePicSlot(char* puf, int len)
{
    if (!puf) {
        if (m_bPicFailed) {
            SetPicStyle(PicFailed);
            ReportPic(1);
        } else if (m_bPicOverdue) {
            SetPicStyle(PicOverdue);
            ReportPic(2);
        }
    } else {
        CSdkBuffer buffer(puf, len);
        QImage image;
        if (len > 0 && len <= CPlatformRequest::kMaxReplyBytes) {
            image.loadFromData(reinterpret_cast<const uchar*>(puf), len);
        }
        if (image.isNull()) {
            MC_LOG(5, "CAlarmMsgWnd::OnUpdatePicSlot",
                   "<%d>\t<%s>,decrypted picture of %s (%d bytes) is no image",
                   m_tCurAlarmInfo.deviceSerial.c_str(), len);
            m_bHasPic = false;
            m_bDecrypted = false;
            SetPicStyle(PicFailed);
            m_bPicFailed = true;
            m_bPicReqFinished = true;
            ReportPic(1);
        } else {
            m_bHasPic = true;
            m_bDecrypted = true;
            ShowPixmap(QPixmap::fromImage(image));
            m_bPicFailed = false;
            m_bPicReqFinished = true;
            ReportPic(0);
        }
        m_tCurAlarmInfo.validateCode = m_strPicCode;
    }
    if (m_bPicFailedBefore) {
        emit sigRefeshUpdateMainMaxInfo();
    }
}

void CAlarmMsgWnd::GetPlainPicture()
{
    m_picRequest =
        QNetworkRequest(QUrl(QString::fromLocal8Bit(m_tCurAlarmInfo.picUrl.c_str()), QUrl::TolerantMode));
    m_picRequest.setSslConfiguration(CPlatformRequest::TlsConfiguration(QSsl::AnyProtocol));
    // Redirects are followed here, one GET per reply, up to kMaxRedirects.
    m_picRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                              QNetworkRequest::ManualRedirectPolicy);
    m_nRedirects = 0;
    SendPicRequest();
}

void CAlarmMsgWnd::DropPicRequest()
{
    ++m_nPicGeneration;
    m_pReceiver->Supersede(m_nPicGeneration); // a decryption still queued is not wanted
    if (QNetworkReply* pOld = m_pPicReply.data()) {
        m_pPicReply = nullptr;
        pOld->abort();
    }
}

void CAlarmMsgWnd::SendPicRequest()
{
    DropPicRequest();
    QNetworkReply* reply = m_pManager->get(m_picRequest);
    m_pPicReply = reply;
    WatchReply(reply);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 nReceived, qint64 nTotal) {
        if (nReceived > CPlatformRequest::kMaxReplyBytes || nTotal > CPlatformRequest::kMaxReplyBytes) {
            MC_LOG(5, "CAlarmMsgWnd::SendPicRequest", "<%d>\t<%s>,picture above %lld bytes, aborted",
                   static_cast<long long>(CPlatformRequest::kMaxReplyBytes));
            reply->abort();
        }
    });
}

void CAlarmMsgWnd::ReplyPicFinished(QNetworkReply* reply)
{
    const QString strTag = CPlatformRequest::TagOf(reply);
    if (strTag == QLatin1String(kCamInfoTag)) {
        if (reply->error() != QNetworkReply::NoError) {
            MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,GetCamInfo Error");
        } else {
            ParseCamInfo(QByteArray::fromStdString(CPlatformRequest::ReadBody(reply)));
        }
    } else if (strTag.isEmpty() && reply == m_pPicReply) {
        m_pPicReply = nullptr;
        if (reply->error() != QNetworkReply::NoError) {
            OnPicReplyError(reply);
        } else {
            OnPicReplyFinished(reply);
        }
    }
    reply->deleteLater();
}

void CAlarmMsgWnd::OnPicReplyFinished(QNetworkReply* reply)
{
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isValid()) {
        const QUrl next = reply->url().resolved(target);
        if (++m_nRedirects > kMaxRedirects || (next.scheme() != "https" && next.scheme() != "http")) {
            MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,redirect %d to %s refused", m_nRedirects,
                   next.toString().toLocal8Bit().constData());
            FailPicture();
            return;
        }
        m_picRequest.setUrl(next);
        SendPicRequest();
        return;
    }
    if (reply->bytesAvailable() > CPlatformRequest::kMaxReplyBytes) {
        MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,picture of %lld bytes refused",
               static_cast<long long>(reply->bytesAvailable()));
        FailPicture();
        return;
    }
    OnPicLoaded(reply->readAll());
}

void CAlarmMsgWnd::OnPicLoaded(const QByteArray& data)
{
    QPixmap pixmap;
    if (!pixmap.loadFromData(data)) {
        MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,picture of message %d (%d bytes) is no image",
               m_tCurAlarmInfo.id, data.size());
        FailPicture();
        return;
    }
    m_bHasPic = true;
    ShowPixmap(pixmap);
    m_bPicFailed = false;
    m_bPicReqFinished = true;
    ReportPic(0);
    if (m_bPicFailedBefore) {
        emit sigRefeshUpdateMainMaxInfo();
    }
}

void CAlarmMsgWnd::FailPicture()
{
    m_bHasPic = false;
    m_bPicFailed = true;
    m_bPicReqFinished = true;
    SetPicStyle(PicFailed);
    ReportPic(1);
    if (m_bPicFailedBefore) {
        emit sigRefeshUpdateMainMaxInfo();
    }
}

void CAlarmMsgWnd::OnPicReplyError(QNetworkReply* reply)
{
    m_bHasPic = false;
    MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,ReplyPicFinished Error:%d",
           static_cast<int>(reply->error()));
    // A picture the server no longer has is expired, and reported as such.
    const bool bExpired = reply->error() == QNetworkReply::ContentNotFoundError;
    if (bExpired) {
        m_bPicOverdue = true;
        SetPicStyle(PicOverdue);
    } else {
        m_bPicFailed = true;
        SetPicStyle(PicFailed);
    }
    m_bPicReqFinished = true;
    ReportPic(bExpired ? 2 : 1);
    if (m_bPicFailedBefore) {
        emit sigRefeshUpdateMainMaxInfo();
    }
}

void CAlarmMsgWnd::SetPicStyle(PicStyle eStyle)
{
    m_pUi->picLab->clear();
    m_pUi->picLab->setStyleSheet(QString::fromLatin1(StyleOf(eStyle)));
}

void CAlarmMsgWnd::ShowPixmap(const QPixmap& pixmap)
{
    m_pixPicture = pixmap;
    m_pUi->picLab->clear();
    m_pUi->picLab->setStyleSheet(QString());
    m_pUi->picLab->setPixmap(
        pixmap.scaled(m_pUi->picLab->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void CAlarmMsgWnd::SetPicture(const QPixmap& pixmap)
{
    if (pixmap.isNull()) {
        return;
    }
    ShowPixmap(pixmap);
    m_bHasPic = true;
    m_bDecrypted = true;
}

void CAlarmMsgWnd::ReportPic(int nSuc)
{
    if (m_bSelected) {
        emit sigMsgPicUpdate(m_tCurAlarmInfo.id, nSuc);
    }
}

void CAlarmMsgWnd::CopyFrom(const CAlarmMsgWnd* pOther)
{
    if (!pOther || pOther == this) {
        return;
    }
    DropPicRequest(); // the copy's own load, if any, is obsolete
    m_tCurAlarmInfo = pOther->m_tCurAlarmInfo;
    m_bRead = pOther->m_bRead;
    m_bChecked = pOther->m_bChecked;
    m_pUi->delSelectedCtrl->setChecked(m_bChecked);
    m_bDecrypted = pOther->m_bDecrypted;
    m_strAesKey = pOther->m_strAesKey;
    m_strToken = pOther->m_strToken;
    m_bPicReqFinished = pOther->m_bPicReqFinished;
    m_bHasPic = pOther->m_bHasPic;
    m_bPicOverdue = pOther->m_bPicOverdue;
    m_bPicFailed = pOther->m_bPicFailed;
    m_bPicFailedBefore = pOther->m_bPicFailedBefore;
    m_bSelected = pOther->m_bSelected;
    ShowTexts();
    if (m_bHasPic && !pOther->m_pixPicture.isNull()) {
        ShowPixmap(pOther->m_pixPicture);
    } else {
        m_pixPicture = QPixmap();
        SetPicStyle(m_bPicFailed                         ? PicFailed
                    : m_bPicOverdue                      ? PicOverdue
                    : m_tCurAlarmInfo.isEncrypted == "1" ? PicEncrypted
                                                         : PicLoading);
    }
}
