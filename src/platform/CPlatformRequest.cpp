#include "platform/CPlatformRequest.h"

#include "base/CfgReader.h"
#include "base/LaunchValues.h"
#include "base/ModuleLog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QUrl>

#include <json/json.h>

#include <memory>
#include <mutex>

std::string CPlatformRequest::WriteJson(const Json::Value& body)
{
    Json::FastWriter writer;
    std::string strText = writer.write(body);
    const size_t nLast = strText.rfind('}');
    if (nLast != std::string::npos) {
        strText.erase(nLast + 1);
    }
    return strText;
}

QNetworkRequest CPlatformRequest::Build(const std::string& strUrl, const QString& strTag, BodyKind eBody,
                                        bool bAuthorization, QSsl::SslProtocol eProtocol)
{
    QNetworkRequest request(QUrl(QString::fromLocal8Bit(strUrl.c_str()), QUrl::TolerantMode));
    request.setRawHeader("userType", "enterprise");
    request.setRawHeader("Content-Type",
                         eBody == JsonBody ? "application/json" : "application/x-www-form-urlencoded");
    if (bAuthorization) {
        const std::string strToken = LaunchValues::snapshot().Token;
        request.setRawHeader("Authorization",
                             (QStringLiteral("Bearer ") + QString::fromLocal8Bit(strToken.c_str())).toUtf8());
    }
    request.setSslConfiguration(TlsConfiguration(eProtocol));
    request.setAttribute(QNetworkRequest::User, QVariant(strTag));
    return request;
}

QNetworkReply* CPlatformRequest::Post(QNetworkAccessManager& manager, const QNetworkRequest& request,
                                      const std::string& strBody)
{
    QNetworkReply* reply = manager.post(request, QString::fromLocal8Bit(strBody.c_str()).toUtf8());
    // Progress already on its way when the abort came must not log it twice.
    auto pCapped = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply, pCapped](qint64 nReceived, qint64) {
                         if (nReceived > kMaxReplyBytes && !*pCapped) {
                             *pCapped = true;
                             MC_LOG(5, "CPlatformRequest::Post", "<%d>\t<%s>,reply above %lld bytes, aborted",
                                    static_cast<long long>(kMaxReplyBytes));
                             reply->abort();
                         }
                     });
    // The reply's own error text only says the handshake failed; the reasons
    // are what an operator needs.
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [](const QList<QSslError>& errors) {
        for (const QSslError& error : errors) {
            MC_LOG(5, "CPlatformRequest::Post", "<%d>\t<%s>,certificate refused: %s",
                   error.errorString().toLocal8Bit().constData());
        }
    });
    return reply;
}

QString CPlatformRequest::TagOf(const QNetworkReply* reply)
{
    return reply->request().attribute(QNetworkRequest::User).toString();
}

std::string CPlatformRequest::ReadBody(QNetworkReply* reply)
{
    if (reply->bytesAvailable() > kMaxReplyBytes) {
        MC_LOG(5, "CPlatformRequest::ReadBody", "<%d>\t<%s>,reply body of %lld bytes refused",
               static_cast<long long>(reply->bytesAvailable()));
        return std::string();
    }
    return QString::fromUtf8(reply->readAll()).toLocal8Bit().toStdString();
}

namespace {

// The TLS settings of the configuration, read again only when the file
// changes: every request needs them, and parsing the CA file per request
// costs more than the request.
struct TlsSettings
{
    QString strCfgPath;
    QDateTime dtModified;
    qint64 nSize = -1;
    bool bVerify = true;
    QList<QSslCertificate> caCertificates;
};

TlsSettings ReadTlsSettings(const std::string& strCfgPath)
{
    TlsSettings settings;
    if (ReadCfgString(strCfgPath, "tls_verify", "1") == "0") {
        settings.bVerify = false;
        return settings;
    }
    settings.caCertificates = QSslConfiguration::defaultConfiguration().caCertificates();
    const std::string strCaFile = ReadCfgString(strCfgPath, "ca_file", "");
    if (!strCaFile.empty()) {
        const QList<QSslCertificate> extra =
            QSslCertificate::fromPath(QString::fromLocal8Bit(strCaFile.c_str()));
        if (extra.isEmpty()) {
            MC_LOG(5, "ReadTlsSettings", "<%d>\t<%s>,ca_file %s holds no certificate", strCaFile.c_str());
        }
        settings.caCertificates += extra;
    }
    return settings;
}

TlsSettings CurrentTlsSettings()
{
    static std::mutex mutex;
    static TlsSettings cached;
    static bool bCached = false;
    const std::string strCfgPath = LaunchValues::snapshot().CfgPath;
    const QFileInfo info(QString::fromLocal8Bit(strCfgPath.c_str()));
    std::lock_guard<std::mutex> lock(mutex);
    if (!bCached || cached.strCfgPath != info.filePath() || cached.dtModified != info.lastModified() ||
        cached.nSize != info.size()) {
        cached = ReadTlsSettings(strCfgPath);
        cached.strCfgPath = info.filePath();
        cached.dtModified = info.lastModified();
        cached.nSize = info.size();
        bCached = true;
    }
    return cached;
}

} // namespace

QSslConfiguration CPlatformRequest::TlsConfiguration(QSsl::SslProtocol eProtocol)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(eProtocol);
    const TlsSettings settings = CurrentTlsSettings();
    if (!settings.bVerify) {
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        return config;
    }
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setCaCertificates(settings.caCertificates);
    return config;
}

std::string CPlatformRequest::MaskTokens(const std::string& strText)
{
    static const QRegularExpression kToken(
        QStringLiteral("(\"(?:token|refreshToken|accessToken|Token|RefreshToken|AccessToken)\"\\s*:\\s*\")"
                       "([^\"]{0,2})[^\"]*\""));
    QString strMasked = QString::fromLocal8Bit(strText.c_str());
    strMasked.replace(kToken, QStringLiteral("\\1\\2***\""));
    return strMasked.toLocal8Bit().toStdString();
}
