#include "FloorFetcher.h"

#include "BenchClock.h"

#include <QEventLoop>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QTimer>

FloorFetcher::FloorFetcher(const QString& baseUrl, const QString& token, const QString& caFile,
                           bool managerPerPicture, QObject* parent)
    : QObject(parent), m_baseUrl(baseUrl), m_token(token.toUtf8()), m_managerPerPicture(managerPerPicture),
      m_tls(QSslConfiguration::defaultConfiguration())
{
    m_tls.setCaCertificates(m_tls.caCertificates() + QSslCertificate::fromPath(caFile));
}

FloorFetcher::~FloorFetcher() = default;

FloorFetcher::Round FloorFetcher::fetchPage(int pageNo, int pageSize, int timeoutMs)
{
    m_round = Round();
    m_pending = 0;
    m_arrivalMs = 0.0;
    m_roundManagers = std::make_unique<QObject>();

    QNetworkRequest request(QUrl(m_baseUrl + "/api/msg/list"));
    request.setSslConfiguration(m_tls);
    request.setRawHeader("userType", "enterprise");
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setRawHeader("Authorization", "Bearer " + m_token);
    const QJsonObject body{{"pageNo", pageNo}, {"pageSize", pageSize}};
    m_requestMs = nowMs();
    QNetworkReply* reply = m_manager.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (m_arrivalMs == 0.0) {
            m_arrivalMs = nowMs();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onListFinished(reply); });

    QEventLoop loop;
    m_loop = &loop;
    QTimer::singleShot(timeoutMs, &loop, [this] { fail("timed out"); });
    loop.exec();
    m_loop = nullptr;
    m_roundManagers.reset(); // aborts whatever a failed round left in flight
    return m_round;
}

void FloorFetcher::onListFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (m_arrivalMs == 0.0) {
        m_arrivalMs = nowMs();
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail("list: " + reply->errorString());
        return;
    }
    const QJsonArray records = QJsonDocument::fromJson(reply->readAll()).object().value("data").toArray();
    if (records.isEmpty()) {
        fail("list: no records");
        return;
    }
    m_pending = records.size();
    for (const QJsonValue& record : records) {
        getPicture(record.toObject().value("picUrl").toString());
    }
}

void FloorFetcher::getPicture(const QString& url)
{
    QNetworkAccessManager* manager = &m_manager;
    if (m_managerPerPicture) {
        manager = new QNetworkAccessManager(m_roundManagers.get());
    }
    QNetworkRequest request{QUrl(url)};
    request.setSslConfiguration(m_tls);
    QNetworkReply* reply = manager->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onPictureFinished(reply); });
}

void FloorFetcher::onPictureFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (!m_loop) {
        return;
    }
    QImage image;
    if (reply->error() != QNetworkReply::NoError || !image.loadFromData(reply->readAll())) {
        fail("picture " + reply->url().toString() + ": " + reply->errorString());
        return;
    }
    ++m_round.pictures;
    if (--m_pending == 0) {
        const double now = nowMs();
        m_round.ok = true;
        m_round.fromArrivalMs = now - m_arrivalMs;
        m_round.fromRequestMs = now - m_requestMs;
        m_loop->quit();
    }
}

void FloorFetcher::fail(const QString& error)
{
    if (m_loop && m_round.error.isEmpty()) {
        m_round.error = error;
        m_loop->quit();
    }
}
