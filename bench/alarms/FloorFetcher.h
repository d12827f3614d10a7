// The floor a page cannot beat on this machine: a bare Qt path that posts the
// same list request, downloads the same pictures and decodes them into
// QImage, nothing else. Runs on the GUI thread like the window does.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <memory>

class QEventLoop;
class QNetworkReply;

class FloorFetcher : public QObject
{
    Q_OBJECT
public:
    struct Round
    {
        bool ok = false;
        QString error;
        int pictures = 0;
        double fromArrivalMs = 0.0; // list reply headers in to the last picture decoded
        double fromRequestMs = 0.0; // list request sent to the last picture decoded
    };

    // managerPerPicture: each picture through a manager of its own (and so a
    // connection of its own), as each row of the window does; otherwise one
    // kept-alive manager for everything.
    FloorFetcher(const QString& baseUrl, const QString& token, const QString& caFile, bool managerPerPicture,
                 QObject* parent = nullptr);
    ~FloorFetcher() override;

    Round fetchPage(int pageNo, int pageSize, int timeoutMs);

private:
    void onListFinished(QNetworkReply* reply);
    void getPicture(const QString& url);
    void onPictureFinished(QNetworkReply* reply);
    void fail(const QString& error);

    QString m_baseUrl;
    QByteArray m_token;
    bool m_managerPerPicture;
    QSslConfiguration m_tls;
    QNetworkAccessManager m_manager;
    std::unique_ptr<QObject> m_roundManagers; // parent of the per-picture managers of a round
    QEventLoop* m_loop = nullptr;
    Round m_round;
    double m_requestMs = 0.0;
    double m_arrivalMs = 0.0;
    int m_pending = 0;
};
