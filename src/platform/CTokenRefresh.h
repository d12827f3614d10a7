// The token refresh and the 401 answer, shared by the window and the
// process-wide client, which each send and guard their own refresh.
#pragma once

#include <QNetworkRequest>
#include <QString>

#include <string>

class QNetworkReply;

class CTokenRefresh
{
public:
    // The refresh request with its body: no "Authorization", TLS 1.2.
    static QNetworkRequest BuildRequest(std::string& strBody);

    // True when the reply carries the new tokens; they are stored in the
    // launch values. strCode gets the platform's code ("20027": refresh token
    // no longer valid).
    static bool StoreReply(QNetworkReply* reply, std::string& strCode, QString& strToken,
                           QString& strRefreshToken);

    // A 401 reply: true when the login was taken over elsewhere (body code
    // 401), with the platform's message; false means a refresh is due.
    static bool IsRemoteLogin(QNetworkReply* reply, QString& strMsg, const char* szFunction);

    // Refreshes refused with 401 by the refresh address itself, in a row,
    // after which the login counts as lost (as for the code "20027").
    static constexpr int kMaxRefreshRejections = 3;

    // The guard timer's expiry line, logged under the sender's name.
    static void LogGuardTimeout(const QString& strTag, bool bTimedOut, const char* szFunction);
};
