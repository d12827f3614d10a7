#include "alarms/CAlarmMsgWnd.h"

#include "alarms/AlarmShared.h"
#include "alarms/CPicFetcher.h"
#include "alarms/CPicLoad.h"
#include "alarms/CSnapCache.h"
#include "alarms/CValidateCode.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"
#include "playback/CVideoSdk.h"

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

// The picture label's placeholders, in the order of PicStyle.
const char* const kPlaceholders[] = {
    ":/Skin/main/image_default_cover_101x57.png",
    ":/Skin/main/image_encrypted_101x57.png",
    ":/Skin/main/image_loading_failed_101x57.png",
    ":/Skin/main/image_overdue_101x57.png",
};

// Object names are the rows' own below a list (and below a row on its own).
const char* const kRowStyle =
    "QLabel#AlarmTypeLab{font: 14px \"微软雅黑\";color: rgb(79, 84, 102);}"
    "QLabel#timeLab,QLabel#devNameLab{font: 12px \"微软雅黑\";color: rgb(157, 168, 204);}"
    "QLabel#AlarmTypeLab:disabled,QLabel#timeLab:disabled,QLabel#devNameLab:disabled{color: rgb(255, 255, "
    "255);}"
    "QLabel#isReadLabel{background-color: rgb(255, 97, 97);border-radius:4px;}"
    "QCheckBox#delSelectedCtrl::indicator{width:12px;height:12px;}"
    "QCheckBox#delSelectedCtrl::indicator:unchecked{image:url(:/Skin/main/icon_sel_default.png);}"
    "QCheckBox#delSelectedCtrl::indicator:unchecked:hover{image:url(:/Skin/main/icon_sel_hover.png);}"
    "QCheckBox#delSelectedCtrl::indicator:checked{image:url(:/Skin/main/icon_sel_selected.png);}";

} // namespace

CAlarmMsgWnd::CAlarmMsgWnd(QWidget* parent, Place ePlace)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_pUi(std::make_unique<Ui::AlarmWnd>()),
      m_pManager(SharedManager())
{
    // Made a child before it has parts: the list then takes it without a
    // reparent, which re-polished every styled part and cost more than the
    // rest of the row.
    if (ePlace == Place::ListRow) {
        setParent(parent, Qt::Widget);
    } else {
        setStyleSheet(RowStyleSheet());
    }
    m_pUi->setupUi(this);
    SetPicStyle(PicLoading);
    m_pUi->delSelectedCtrl->hide();
    // Ticking with the mouse leaves the keys with the list.
    m_pUi->delSelectedCtrl->setFocusPolicy(Qt::NoFocus);
    m_strAesKey = LaunchValues::snapshot().AesKey;

    // Emitted on the GUI thread once a decryption result is back, so the
    // bytes change hands synchronously and are never left in a queue.
    connect(this, &CAlarmMsgWnd::UpdatePicSignal, this, &CAlarmMsgWnd::OnUpdatePicSlot, Qt::DirectConnection);
    connect(m_pUi->delSelectedCtrl, &QCheckBox::clicked, this, &CAlarmMsgWnd::OnDelSelectedClicked);
}

CAlarmMsgWnd::~CAlarmMsgWnd()
{
    // The picture load goes with the row (a child); the camera query in
    // flight belongs to the shared manager and is ended here.
    delete m_pLoad.data();
    if (m_pCamInfoReply) {
        disconnect(m_pCamInfoReply, nullptr, this, nullptr);
        m_pCamInfoReply->abort();
        m_pCamInfoReply->deleteLater();
    }
}

void CAlarmMsgWnd::setVisible(bool bVisible)
{
    // In a list a row is a plain child. Shown as a dialog it would send
    // itself the focus, and the list would make it the current row and place
    // every row again, for each row that goes in.
    if (!isWindow()) {
        QWidget::setVisible(bVisible);
        return;
    }
    QDialog::setVisible(bVisible);
}

QString CAlarmMsgWnd::RowStyleSheet()
{
    return QString::fromUtf8(kRowStyle);
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
    CPicFetcher::Stop();
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
        StartLoad(false);
    } else if (m_tCurAlarmInfo.isEncrypted == "1") {
        SetPicStyle(PicEncrypted);
        m_strPicCode = FindDevCode(m_tCurAlarmInfo.deviceSerial, m_tCurAlarmInfo.channelNo);
        StartLoad(true);
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
    StartLoad(true);
}

QSize CAlarmMsgWnd::ShownPicSize()
{
    return (QSizeF(kPicLabSize) * qApp->devicePixelRatio()).toSize();
}

CPicRequest CAlarmMsgWnd::PicRequestFor(const ALARM_INFO_STRUCT& record, const std::string& strCode)
{
    CPicRequest request;
    request.bEncrypted = record.isEncrypted == "1";
    request.strPicUrl = record.picUrl;
    request.szShown = ShownPicSize();
    request.pCache = CSnapCache::Shared();
    request.strDevSerial = record.deviceSerial;
    if (request.bEncrypted) {
        const LaunchValues values = LaunchValues::snapshot();
        request.strToken = record.nTrust != 0 ? values.TrustAccessToken : values.AccessToken;
        request.strCode = strCode;
        request.strIpcValidateCode = record.ipcValidateCode;
        request.strAesKey = values.AesKey;
    }
    return request;
}

std::vector<CPicRequest> CAlarmMsgWnd::PicRequestsOf(const std::vector<ALARM_INFO_STRUCT>& records)
{
    // As each row will ask when it is made (LoadPicture).
    std::vector<CPicRequest> requests;
    for (const ALARM_INFO_STRUCT& record : records) {
        if (record.isEncrypted == "0" || record.isEncrypted == "1") {
            requests.push_back(PicRequestFor(record, record.isEncrypted == "1"
                                                         ? FindDevCode(record.deviceSerial, record.channelNo)
                                                         : std::string()));
        }
    }
    return requests;
}

void CAlarmMsgWnd::StartLoad(bool bEncrypted)
{
    DropLoad();
    CPicRequest request = PicRequestFor(m_tCurAlarmInfo, m_strPicCode);
    request.bEncrypted = bEncrypted;
    if (bEncrypted) {
        request.strToken = m_strToken;
        request.strAesKey = m_strAesKey;
    }
    CPicLoad* pLoad = CPicLoad::Begin(request, this);
    m_pLoad = pLoad;
    connect(pLoad, &CPicLoad::finished, this, [this, pLoad] { OnLoadFinished(pLoad); });
    if (pLoad->IsFinished()) {
        // Parked for this row and already in: shown as the row is made.
        OnLoadFinished(pLoad);
    }
}

void CAlarmMsgWnd::DropLoad()
{
    // A later load takes over: what the earlier one would bring is not wanted.
    delete m_pLoad.data();
    m_pLoad = nullptr;
}

void CAlarmMsgWnd::OnLoadFinished(CPicLoad* pLoad)
{
    if (pLoad != m_pLoad) {
        return;
    }
    const CPicResult result = pLoad->Result();
    m_pLoad = nullptr;
    pLoad->deleteLater();
    if (pLoad->Request().bEncrypted) {
        OnDecryptFinished(result);
    } else {
        OnPlainFinished(result);
    }
}

void CAlarmMsgWnd::OnDecryptFinished(const CPicResult& result)
{
    if (result.bNoCode) {
        m_bPicFailed = true;
        m_bPicReqFinished = true;
        ReportPic(1);
        return;
    }
    m_strPicCode = result.strCode;
    if (result.nRet == 0 && !result.baDecrypted.isEmpty()) {
        m_imgPendingShown = result.imgShown;
        m_baPendingFetched = result.baFetched;
        QByteArray baDecrypted = result.baDecrypted;
        emit UpdatePicSignal(baDecrypted.data(), baDecrypted.size());
        return;
    }
    OnDecryptFailed(result);
}

void CAlarmMsgWnd::OnDecryptFailed(const CPicResult& result)
{
    MC_LOG(5, "CAlarmMsgWnd::OnDecryptFailed", "<%d>\t<%s>,DecryptPicture serial:%s iErrCode:%d %s",
           m_tCurAlarmInfo.deviceSerial.c_str(), result.nErrCode, result.strErrDesc.c_str());
    m_bPicReqFinished = true;
    m_bDecrypted = false;
    m_bHasPic = false;
    ForgetPicture();
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
    MC_LOG(3, "CAlarmMsgWnd::OnDecryptFailed", "<%d>\t<%s>,finished");
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
        // Decoded on the pool to the size it is shown at.
        const QImage imgShown = std::exchange(m_imgPendingShown, QImage());
        const QByteArray baFetched = std::exchange(m_baPendingFetched, QByteArray());
        if (imgShown.isNull()) {
            MC_LOG(5, "CAlarmMsgWnd::OnUpdatePicSlot",
                   "<%d>\t<%s>,decrypted picture of %s (%d bytes) is no image",
                   m_tCurAlarmInfo.deviceSerial.c_str(), len);
            m_bHasPic = false;
            m_bDecrypted = false;
            ForgetPicture();
            SetPicStyle(PicFailed);
            m_bPicFailed = true;
            m_bPicReqFinished = true;
            ReportPic(1);
        } else {
            m_bHasPic = true;
            m_bDecrypted = true;
            KeepPicture(baFetched, QByteArray(puf, len));
            ShowShown(imgShown);
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

void CAlarmMsgWnd::ReplyPicFinished(QNetworkReply* reply)
{
    // Pictures come through their load; what is left is the camera query.
    if (CPlatformRequest::TagOf(reply) == QLatin1String(kCamInfoTag)) {
        if (reply->error() != QNetworkReply::NoError) {
            MC_LOG(5, "CAlarmMsgWnd::ReplyPicFinished", "<%d>\t<%s>,GetCamInfo Error");
        } else {
            ParseCamInfo(QByteArray::fromStdString(CPlatformRequest::ReadBody(reply)));
        }
    }
    reply->deleteLater();
}

void CAlarmMsgWnd::OnPlainFinished(const CPicResult& result)
{
    if (result.nNetError != 0) {
        OnPicReplyError(result.nNetError);
        return;
    }
    if (result.bRefused) {
        FailPicture();
        return;
    }
    if (result.imgShown.isNull()) {
        MC_LOG(5, "CAlarmMsgWnd::OnPlainFinished", "<%d>\t<%s>,picture of message %d (%d bytes) is no image",
               m_tCurAlarmInfo.id, result.baFetched.size());
        FailPicture();
        return;
    }
    m_bHasPic = true;
    KeepPicture(result.baFetched, QByteArray());
    ShowShown(result.imgShown);
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
    ForgetPicture();
    m_bPicFailed = true;
    m_bPicReqFinished = true;
    SetPicStyle(PicFailed);
    ReportPic(1);
    if (m_bPicFailedBefore) {
        emit sigRefeshUpdateMainMaxInfo();
    }
}

void CAlarmMsgWnd::OnPicReplyError(int nNetError)
{
    m_bHasPic = false;
    ForgetPicture();
    MC_LOG(5, "CAlarmMsgWnd::OnPicReplyError", "<%d>\t<%s>,ReplyPicFinished Error:%d", nNetError);
    // A picture the server no longer has is expired, and reported as such.
    const bool bExpired = nNetError == QNetworkReply::ContentNotFoundError;
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
    // Shown as the label's picture, the same size as a snapshot: a state
    // change re-polishes nothing.
    m_pUi->picLab->setPixmap(QPixmap(QString::fromLatin1(kPlaceholders[eStyle])));
}

void CAlarmMsgWnd::ShowPixmap(const QPixmap& pixmap)
{
    m_pixPicture = pixmap;
    m_pUi->picLab->setPixmap(
        pixmap.scaled(m_pUi->picLab->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void CAlarmMsgWnd::ShowShown(const QImage& imgShown)
{
    QPixmap pixmap = QPixmap::fromImage(imgShown);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_pUi->picLab->setPixmap(pixmap);
}

void CAlarmMsgWnd::KeepPicture(const QByteArray& baFetched, const QByteArray& baDecrypted)
{
    m_baPicBytes = baFetched;
    m_baDecrypted = baDecrypted;
    m_pixPicture = QPixmap(); // decoded whole only when asked for
}

void CAlarmMsgWnd::ForgetPicture()
{
    KeepPicture(QByteArray(), QByteArray());
}

QPixmap CAlarmMsgWnd::GetPicture() const
{
    if (m_pixPicture.isNull() && m_bHasPic) {
        // A plain picture as fetched, an encrypted one only once decrypted.
        const QByteArray& baImage = m_bDecrypted ? m_baDecrypted : m_baPicBytes;
        if (!baImage.isEmpty() && (m_bDecrypted || m_tCurAlarmInfo.isEncrypted != "1")) {
            m_pixPicture.loadFromData(baImage);
        }
    }
    return m_pixPicture;
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

void CAlarmMsgWnd::SetDecryptedPicture(const QImage& image, const QByteArray& baFetched,
                                       const QByteArray& baDecrypted)
{
    if (image.isNull()) {
        return;
    }
    KeepPicture(baFetched, baDecrypted);
    m_pUi->picLab->setPixmap(
        QPixmap::fromImage(image.scaled(ShownPicSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
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
    DropLoad(); // the copy's own load, if any, is obsolete
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
    m_baPicBytes = pOther->m_baPicBytes;
    m_baDecrypted = pOther->m_baDecrypted;
    m_pixPicture = pOther->m_pixPicture;
    const QPixmap pixShown = pOther->m_pUi->picLab->pixmap(Qt::ReturnByValue);
    if (m_bHasPic && !pixShown.isNull()) {
        m_pUi->picLab->setPixmap(pixShown);
    } else {
        SetPicStyle(m_bPicFailed                         ? PicFailed
                    : m_bPicOverdue                      ? PicOverdue
                    : m_tCurAlarmInfo.isEncrypted == "1" ? PicEncrypted
                                                         : PicLoading);
    }
}
