#include "SimHttp.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QTimer>

QJsonObject HttpResult::json() const
{
    return QJsonDocument::fromJson(body).object();
}

SimHttp::SimHttp(const QString& caFile)
{
    m_ssl = QSslConfiguration::defaultConfiguration();
    m_ssl.setCaCertificates(QSslCertificate::fromPath(caFile));
    m_ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
}

HttpResult SimHttp::post(const QString& url, const QByteArray& body, const QString& token,
                         const QByteArray& contentType, bool withUserType)
{
    QNetworkRequest request{QUrl(url)};
    request.setSslConfiguration(m_ssl);
    if (withUserType)
        request.setRawHeader("userType", "enterprise");
    request.setRawHeader("Content-Type", contentType);
    if (!token.isNull())
        request.setRawHeader("Authorization", ("Bearer " + token).toUtf8());
    return run(m_manager.post(request, body), {}, 30000);
}

HttpResult SimHttp::get(const QString& url, const QString& bearer)
{
    QNetworkRequest request{QUrl(url)};
    request.setSslConfiguration(m_ssl);
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", ("Bearer " + bearer).toUtf8());
    return run(m_manager.get(request), {}, 30000);
}

HttpResult SimHttp::stream(const QString& url, const QString& bearer,
                           const std::function<bool(const QByteArray&)>& onData, int timeoutMs)
{
    QNetworkRequest request{QUrl(url)};
    request.setSslConfiguration(m_ssl);
    request.setRawHeader("Authorization", ("Bearer " + bearer).toUtf8());
    return run(m_manager.get(request), onData, timeoutMs);
}

HttpResult SimHttp::run(QNetworkReply* reply, const std::function<bool(const QByteArray&)>& onData,
                        int timeoutMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    HttpResult result;
    if (onData) {
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            if (!onData(reply->readAll()))
                loop.quit();
        });
    }
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.networkError = reply->error();
    result.location = reply->rawHeader("Location");
    if (onData) {
        QByteArray rest = reply->readAll();
        if (!rest.isEmpty())
            onData(rest);
    } else {
        result.body = reply->readAll();
    }
    reply->abort();
    reply->deleteLater();
    return result;
}

bool takeFrames(QByteArray& buffer, QList<CloudFrame>& frames)
{
    while (buffer.size() >= 17) {
        if (!buffer.startsWith("PVXF"))
            return false;
        auto byte = [&](int i) { return static_cast<quint64>(static_cast<unsigned char>(buffer[i])); };
        quint64 time = 0;
        for (int i = 5; i < 13; ++i)
            time = (time << 8) | byte(i);
        quint32 length =
            static_cast<quint32>((byte(13) << 24) | (byte(14) << 16) | (byte(15) << 8) | byte(16));
        if (buffer.size() < 17 + static_cast<int>(length))
            break;
        frames.append({buffer[4], static_cast<qint64>(time), buffer.mid(17, static_cast<int>(length))});
        buffer.remove(0, 17 + static_cast<int>(length));
    }
    return true;
}
