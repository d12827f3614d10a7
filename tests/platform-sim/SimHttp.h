#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QSslConfiguration>
#include <QString>

#include <functional>

// Blocking HTTPS calls for the simulator's tests, trusting only its CA.
struct HttpResult
{
    int status = 0; // 0: no HTTP answer
    int networkError = 0;
    QByteArray body;
    QByteArray location;
    QJsonObject json() const;
};

class SimHttp
{
public:
    explicit SimHttp(const QString& caFile);

    // A platform POST with the client's three headers ("userType", "Content-Type", "Authorization").
    HttpResult post(const QString& url, const QByteArray& body, const QString& token,
                    const QByteArray& contentType = "application/json", bool withUserType = true);
    HttpResult get(const QString& url, const QString& bearer = {});
    // A GET whose body is handed over piece by piece; onData returns false to stop listening.
    HttpResult stream(const QString& url, const QString& bearer,
                      const std::function<bool(const QByteArray&)>& onData, int timeoutMs = 30000);

private:
    HttpResult run(QNetworkReply* reply, const std::function<bool(const QByteArray&)>& onData, int timeoutMs);

    QNetworkAccessManager m_manager;
    QSslConfiguration m_ssl;
};

// Frames of the device cloud's stream.
struct CloudFrame
{
    int kind = 0;
    qint64 onScreenMs = 0;
    QByteArray payload;
};
// Takes whole frames off the front of buffer; false when the data is not frames.
bool takeFrames(QByteArray& buffer, QList<CloudFrame>& frames);
