#include "platform/CHttpClient.h"

#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "platform/CPlatformRequest.h"
#include "platform/CTokenRefresh.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QPointer>
#include <QTimerEvent>

CHttpClient* CHttpClient::instance()
{
    static QPointer<CHttpClient> s_pClient;
    if (!s_pClient) {
        s_pClient = new CHttpClient(QCoreApplication::instance());
    }
    return s_pClient;
}

CHttpClient::CHttpClient(QObject* parent) : QObject(parent), m_tagTimers(this)
{
    connect(&m_networkManager, &QNetworkAccessManager::finished, this, &CHttpClient::serviceRequestFinished);
}

bool CHttpClient::startTime(const QString& strTag, int nPeriod)
{
    return m_tagTimers.Start(strTag, nPeriod);
}

void CHttpClient::stopTime(const QString& strTag, bool bTimedOut, const QString& /*strError*/)
{
    m_tagTimers.Stop(strTag);
    CTokenRefresh::LogGuardTimeout(strTag, bTimedOut, "CHttpClient::stopTime");
}

void CHttpClient::timerEvent(QTimerEvent* event)
{
    const QString strTag = m_tagTimers.TagOf(event->timerId());
    if (strTag.isEmpty()) {
        QObject::timerEvent(event);
        return;
    }
    stopTime(strTag, true, QStringLiteral("timerout error"));
}

void CHttpClient::RefreshToken()
{
    MC_LOG(3, "CHttpClient::RefreshToken", "<%d>\t<%s>,RefreshToken begin");
    if (!startTime(QStringLiteral("RefreshToken"), -1)) {
        return;
    }
    MC_LOG(3, "CHttpClient::RefreshToken", "<%d>\t<%s>,RefreshToken in");
    std::string strBody;
    const QNetworkRequest request = CTokenRefresh::BuildRequest(strBody);
    CPlatformRequest::Post(m_networkManager, request, strBody);
}

void CHttpClient::HttpUpLoadDcLog(QString strContent, QString strType)
{
    if (m_strDcLogUrl.isEmpty() || m_strCmDclogUrl.isEmpty()) {
        return;
    }
    const QString strUrl = m_strDcLogUrl + strType;
    const QString strBody = m_strCmDclogUrl + QStringLiteral("&") + strContent;
    LogWrite(3, "GlobalApplication", "<%d>\t<%s>,Buried Type:%s content:%s", __LINE__,
             "CHttpClient::HttpUpLoadDcLog", strType.toLocal8Bit().constData(),
             strBody.toLocal8Bit().constData());
    QNetworkRequest request(QUrl(strUrl, QUrl::TolerantMode));
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    // The module's TLS rule and reply cap hold for the usage log too.
    request.setSslConfiguration(CPlatformRequest::TlsConfiguration(QSsl::AnyProtocol));
    request.setAttribute(QNetworkRequest::User, QVariant(QStringLiteral("DcLogPost")));
    CPlatformRequest::Post(m_networkManager, request, strBody.toLocal8Bit().toStdString());
}

void CHttpClient::serviceRequestFinished(QNetworkReply* reply)
{
    const QString strStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString();
    const QString strTag = CPlatformRequest::TagOf(reply);
    if (strStatus == QLatin1String("401")) {
        OnUnauthorizedReply(reply);
    } else if (reply->error() != QNetworkReply::NoError) {
        MC_LOG(5, "CHttpClient::serviceRequestFinished", "<%d>\t<%s>,Http Service Error:%s,ErrStatus=%s",
               reply->errorString().toLocal8Bit().constData(), strStatus.toLocal8Bit().constData());
    } else {
        if (m_tagTimers.IsRunning(strTag) && strTag != QLatin1String("RefreshToken")) {
            stopTime(strTag, false, QString());
        }
        if (strTag == QLatin1String("DcLogPost")) {
            const QString strBody = QString::fromLocal8Bit(CPlatformRequest::ReadBody(reply).c_str());
            if (strBody == QLatin1String("true")) {
                MC_LOG(3, "CHttpClient::serviceRequestFinished", "<%d>\t<%s>,Upload Dclog Success");
            } else {
                MC_LOG(3, "CHttpClient::serviceRequestFinished", "<%d>\t<%s>,Upload Dclog Error:%s",
                       strBody.toLocal8Bit().constData());
            }
        } else if (strTag == QLatin1String("RefreshToken")) {
            OnRefreshTokenReply(reply);
        }
    }
    reply->abort();
    reply->deleteLater();
}

void CHttpClient::OnRefreshTokenReply(QNetworkReply* reply)
{
    std::string strCode;
    QString strToken;
    QString strRefreshToken;
    if (!CTokenRefresh::StoreReply(reply, strCode, strToken, strRefreshToken)) {
        MC_LOG(5, "CHttpClient::OnRefreshTokenReply", "<%d>\t<%s>,refreshtoken Failed");
        if (strCode == "20027") {
            emit GetUserErrSignal();
        }
        return;
    }
    m_nRefreshRejections = 0;
    emit sigUpdateToken(strToken, strRefreshToken);
}

void CHttpClient::OnUnauthorizedReply(QNetworkReply* reply)
{
    QString strMsg;
    if (CTokenRefresh::IsRemoteLogin(reply, strMsg, "CHttpClient::serviceRequestFinished")) {
        emit sigRemoteLogin(strMsg);
        return;
    }
    if (CPlatformRequest::TagOf(reply) == QLatin1String("RefreshToken") &&
        ++m_nRefreshRejections >= CTokenRefresh::kMaxRefreshRejections) {
        MC_LOG(5, "CHttpClient::OnUnauthorizedReply", "<%d>\t<%s>,refresh refused with 401 %d times",
               m_nRefreshRejections);
        m_nRefreshRejections = 0;
        emit GetUserErrSignal();
        return;
    }
    RefreshToken();
}
