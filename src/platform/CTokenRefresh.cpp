#include "platform/CTokenRefresh.h"

#include "base/LaunchValues.h"
#include "base/ModuleLog.h"
#include "platform/CJasonParse.h"
#include "platform/CPlatformRequest.h"

#include <QNetworkReply>

#include <json/json.h>

QNetworkRequest CTokenRefresh::BuildRequest(std::string& strBody)
{
    const LaunchValues values = LaunchValues::snapshot();
    Json::Value body;
    body["clientType"] = 4;
    body["refreshToken"] = values.RefreshToken;
    strBody = CPlatformRequest::WriteJson(body);
    return CPlatformRequest::Build(values.ServerUrl + "/api/user/app/refresh/token",
                                   QStringLiteral("RefreshToken"), CPlatformRequest::JsonBody, false,
                                   QSsl::TlsV1_2);
}

bool CTokenRefresh::StoreReply(QNetworkReply* reply, std::string& strCode, QString& strToken,
                               QString& strRefreshToken)
{
    std::string strNewToken;
    std::string strNewRefresh;
    // A reply without an open-platform token keeps the one there is.
    std::string strNewAccess = LaunchValues::snapshot().AccessToken;
    if (!CJasonParse().ParseToken(CPlatformRequest::ReadBody(reply), strNewToken, strNewRefresh, strNewAccess,
                                  strCode)) {
        return false;
    }
    LaunchValues::update([&](LaunchValues& values) {
        values.Token = strNewToken;
        values.RefreshToken = strNewRefresh;
        values.AccessToken = strNewAccess;
    });
    strToken = QString::fromLocal8Bit(strNewToken.c_str());
    strRefreshToken = QString::fromLocal8Bit(strNewRefresh.c_str());
    return true;
}

bool CTokenRefresh::IsRemoteLogin(QNetworkReply* reply, QString& strMsg, const char* szFunction)
{
    const std::string strResult = CPlatformRequest::ReadBody(reply);
    MC_LOG(3, szFunction, "<%d>\t<%s>,strResult:%s", CPlatformRequest::MaskTokens(strResult).c_str());
    int nCode = 0;
    if (CJasonParse().ParseCodeMsg(strResult.c_str(), nCode, strMsg) && nCode == 401) {
        MC_LOG(3, szFunction, "<%d>\t<%s>,401 strContent:%s", strMsg.toLocal8Bit().constData());
        return true;
    }
    MC_LOG(3, szFunction, "<%d>\t<%s>,RefreshToken()");
    return false;
}

void CTokenRefresh::LogGuardTimeout(const QString& strTag, bool bTimedOut, const char* szFunction)
{
    if (bTimedOut && strTag == QLatin1String("RefreshToken")) {
        MC_LOG(5, szFunction, "<%d>\t<%s>,RefreshToken timeout");
    }
}
