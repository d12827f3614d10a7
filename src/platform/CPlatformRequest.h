// How every request to the platform is built and how every reply body is read:
// fixed headers, bearer token, tag, TLS settings, body size cap.
#pragma once

#include <QNetworkRequest>
#include <QSsl>
#include <QString>

#include <string>

namespace Json {
class Value;
}
class QNetworkAccessManager;
class QNetworkReply;

class CPlatformRequest
{
public:
    enum BodyKind
    {
        JsonBody,
        FormBody
    };

    // Replies larger than this are failures, never loaded whole.
    static constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;

    // The compact JSON text, cut after its last "}".
    static std::string WriteJson(const Json::Value& body);

    // Headers in the platform's order: "userType", "Content-Type", then
    // "Authorization" with the current token when bAuthorization is set.
    static QNetworkRequest Build(const std::string& strUrl, const QString& strTag, BodyKind eBody,
                                 bool bAuthorization, QSsl::SslProtocol eProtocol);

    // Posts the body as UTF-8 on the manager; the reply comes back through
    // the manager's finished signal and is aborted past the size cap.
    static QNetworkReply* Post(QNetworkAccessManager& manager, const QNetworkRequest& request,
                               const std::string& strBody);

    // The request's tag, as set by Build.
    static QString TagOf(const QNetworkReply* reply);

    // The body decoded from UTF-8 into the local 8-bit code page; empty (and
    // logged) above the size cap.
    static std::string ReadBody(QNetworkReply* reply);

    // TLS for one request: verification against the system's CAs plus the
    // configured CA file, unless the configuration turns it off.
    static QSslConfiguration TlsConfiguration(QSsl::SslProtocol eProtocol);

    // Token values in a reply text, masked for the log.
    static std::string MaskTokens(const std::string& strText);
};
