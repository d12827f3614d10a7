// What of the platform simulator no end-to-end test sees: its admin side
// refuses callers without the run's token, so a web page in a local browser
// cannot drive it. Everything else it does is exercised by the tests that run
// against it.
#include "SimulatorProcess.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QtTest>

namespace {

struct Reply
{
    int status = 0; // 0: no HTTP answer
    QByteArray body;
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void adminCallsNeedTheRunsToken_data();
    void adminCallsNeedTheRunsToken();

private:
    Reply send(const QString& url, const QByteArray& bearer, const QByteArray& contentType = {},
               const QByteArray& body = {});

    SimulatorProcess m_sim;
    QNetworkAccessManager m_manager;
};

void TestSimulator::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    QVERIFY(!m_sim.adminToken().isEmpty());
}

// A GET without content type, a POST with one.
Reply TestSimulator::send(const QString& url, const QByteArray& bearer, const QByteArray& contentType,
                          const QByteArray& body)
{
    QNetworkRequest request{QUrl(url)};
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(m_sim.caFile()));
    request.setSslConfiguration(ssl);
    request.setRawHeader("userType", "enterprise");
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearer);
    if (!contentType.isEmpty())
        request.setRawHeader("Content-Type", contentType);
    std::unique_ptr<QNetworkReply> reply(contentType.isEmpty() ? m_manager.get(request)
                                                               : m_manager.post(request, body));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(20000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

void TestSimulator::adminCallsNeedTheRunsToken_data()
{
    // What a web page in a local browser could send.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("bearer"); // "admin", "platform", or the text sent
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<int>("status");
    QTest::newRow("no token") << "/admin/info"
                              << "" << QByteArray() << 401;
    QTest::newRow("a guess") << "/admin/info"
                             << "guess" << QByteArray() << 401;
    QTest::newRow("platform token") << "/admin/info"
                                    << "platform" << QByteArray() << 401;
    QTest::newRow("form post") << "/admin/alarms"
                               << "" << QByteArray("text/plain") << 401;
    QTest::newRow("unknown path") << "/admin/nowhere"
                                  << "" << QByteArray() << 401;
    QTest::newRow("the run's token") << "/admin/info"
                                     << "admin" << QByteArray() << 200;
}

void TestSimulator::adminCallsNeedTheRunsToken()
{
    QFETCH(QString, path);
    QFETCH(QString, bearer);
    QFETCH(QByteArray, contentType);
    QFETCH(int, status);
    const QString sent = bearer == "admin"      ? m_sim.adminToken()
                         : bearer == "platform" ? m_sim.token()
                                                : bearer;
    const Reply reply = send(m_sim.adminUrl() + path, sent.toUtf8(), contentType, "{\"count\":5}");
    QCOMPARE(reply.status, status);
    if (status == 401) {
        QVERIFY(!reply.body.contains(m_sim.adminToken().toUtf8()));
        QCOMPARE(QJsonDocument::fromJson(reply.body).object().value("ok").toBool(true), false);
    }
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
