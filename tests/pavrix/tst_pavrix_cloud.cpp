// The library against the real platform simulator, where the module's own
// tests cannot see it: a lost stream is no normal end, pictures reuse kept-alive
// connections and survive closed ones, parallel decryptions each get their own
// picture, and the cloud's certificate is verified.
#include "PavrixSDK.h"
#include "SdkProbe.h"
#include "SimulatorProcess.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QtTest>

#include <thread>

using pvxtest::SdkProbe;

namespace {

const char kDevice[] = "PV1000001"; // plain camera with code "ABCDEF"
const char kCode[] = "ABCDEF";
const char kEncryptedDevice[] = "PV1000002";
const char kEncryptedCode[] = "QWERTY";

QByteArray timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss").toUtf8();
}

} // namespace

class TestPavrixCloud : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void lostStreamIsAnAbnormalEnd();
    void picturesReuseConnectionsAndSurviveClosedOnes();
    void parallelDecryptsEachGetTheirOwnPicture();
    void certificatesAreVerified();

private:
    // Addresses of count new pictures of the encrypted camera.
    QList<QByteArray> newEncryptedPictures(int count);
    QByteArray decrypted(const QByteArray& url);
    qint64 connectionsAccepted()
    {
        return qint64(m_sim.admin("GET", "/admin/connections").value("accepted").toDouble());
    }

    SimulatorProcess m_sim;
    QNetworkAccessManager m_manager;
    qint64 m_t0 = 0; // recordings [t0-90 s, t0+90 s] and [t0+110 s, t0+290 s] on kDevice
};

void TestPavrixCloud::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
    qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
    QCOMPARE(OpenSDK_Init(m_sim.appKey().toUtf8().constData()), 0);
    QCOMPARE(OpenSDK_SetAccessToken(m_sim.accessToken().toUtf8().constData()), 0);
    // Thirty days back nothing else is recorded on the device.
    m_t0 = (QDateTime::currentMSecsSinceEpoch() / 1000 - 30 * 86400) * 1000;
    for (qint64 at : {m_t0, m_t0 + 200000})
        QVERIFY(!m_sim.addAlarm({{"deviceSerial", kDevice}, {"alarmTime", at}, {"push", false}}).isEmpty());
}

void TestPavrixCloud::cleanupTestCase()
{
    OpenSDK_FiniLib();
}

void TestPavrixCloud::lostStreamIsAnAbnormalEnd()
{
    SdkProbe probe;
    QVERIFY(probe.open());
    QCOMPARE(OpenSDK_StartPlayBackEx(probe.sessionId.c_str(), nullptr, kDevice, 1, kCode,
                                     timeText(m_t0 - 60000).constData(), timeText(m_t0 + 60000).constData()),
             0);
    QVERIFY(probe.waitForFrames(2));
    QVERIFY(m_sim.controlStreams("end", kDevice) >= 1);
    QVERIFY(probe.waitFor(OPENSDK_MSG_PLAY_ABNORMAL_END, 5000) >= 0);
    QCOMPARE(probe.waitFor(OPENSDK_MSG_PLAY_END, 0), -1);
    QCOMPARE(probe.waitFor(OPENSDK_MSG_PLAY_STOPPED, 0), -1);
}

QList<QByteArray> TestPavrixCloud::newEncryptedPictures(int count)
{
    const QJsonArray ids =
        m_sim.addAlarm({{"deviceSerial", kEncryptedDevice}, {"count", count}, {"push", false}});
    QNetworkRequest request(QUrl(m_sim.baseUrl() + "/api/msg/list"));
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(m_sim.caFile()));
    request.setSslConfiguration(ssl);
    request.setRawHeader("Authorization", "Bearer " + m_sim.token().toUtf8());
    request.setRawHeader("userType", "enterprise");
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const QJsonObject body{{"pageNo", 1}, {"pageSize", 100}, {"deviceSerial", kEncryptedDevice}};
    std::unique_ptr<QNetworkReply> reply(m_manager.post(request, QJsonDocument(body).toJson()));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QList<QByteArray> urls;
    if (!finished.wait(20000))
        return urls;
    for (const QJsonValue& row : QJsonDocument::fromJson(reply->readAll()).object().value("data").toArray()) {
        if (ids.contains(row.toObject().value("id")))
            urls << row.toObject().value("picUrl").toString().toUtf8();
    }
    return urls;
}

// The picture's bytes, empty when the library refused.
QByteArray TestPavrixCloud::decrypted(const QByteArray& url)
{
    char* buffer = nullptr;
    int size = 0;
    if (OpenSDK_DecryptPicture(m_sim.accessToken().toUtf8().constData(), url.constData(), kEncryptedDevice,
                               kEncryptedCode, &buffer, &size) != 0)
        return {};
    QByteArray bytes(buffer, size);
    OpenSDK_Data_Free(buffer);
    return bytes;
}

void TestPavrixCloud::picturesReuseConnectionsAndSurviveClosedOnes()
{
    const QList<QByteArray> urls = newEncryptedPictures(8);
    QCOMPARE(urls.size(), 8);
    // One after another over one kept-alive connection (perhaps one left from earlier).
    qint64 before = connectionsAccepted();
    for (const QByteArray& url : urls)
        QVERIFY(!decrypted(url).isEmpty());
    QVERIFY2(connectionsAccepted() - before <= 1,
             "pictures fetched one after another opened several connections");

    // The server closes its idle connections: the next picture still comes.
    QVERIFY(m_sim.admin("POST", "/admin/connections/close").value("ok").toBool());
    QVERIFY(!decrypted(urls[0]).isEmpty());

    // The server drops the request on a kept-alive connection, as when it closes
    // the connection just as the request goes out: sent once more, on a new one.
    const QString path = QUrl(QString::fromUtf8(urls[1])).path();
    QVERIFY(m_sim.setFault(path, 0, 0, true, 1));
    before = connectionsAccepted();
    QVERIFY(!decrypted(urls[1]).isEmpty());
    QCOMPARE(connectionsAccepted() - before, qint64(1));

    // Dropped again on the fresh connection: a network failure, not a loop.
    QVERIFY(m_sim.setFault(path, 0, 0, true, 2));
    QVERIFY(decrypted(urls[1]).isEmpty());
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NETWORK));
    QVERIFY(!decrypted(urls[1]).isEmpty());
}

void TestPavrixCloud::parallelDecryptsEachGetTheirOwnPicture()
{
    const QList<QByteArray> urls = newEncryptedPictures(12);
    QCOMPARE(urls.size(), 12);
    QList<QByteArray> alone;
    for (const QByteArray& url : urls)
        alone << decrypted(url);

    // Twelve callers at once, more than the library opens to one server.
    QVERIFY(m_sim.admin("POST", "/admin/connections/close").value("ok").toBool());
    const qint64 before = connectionsAccepted();
    QVector<QByteArray> together(urls.size());
    std::vector<std::thread> callers;
    for (int i = 0; i < urls.size(); ++i)
        callers.emplace_back([&, i] { together[i] = decrypted(urls[i]); });
    for (std::thread& caller : callers)
        caller.join();
    for (int i = 0; i < urls.size(); ++i) {
        QVERIFY(!alone[i].isEmpty());
        QVERIFY2(together[i] == alone[i], qPrintable(QString("picture %1 differs").arg(i)));
    }
    QVERIFY(alone[0] != alone[1]);
    const qint64 opened = connectionsAccepted() - before;
    QVERIFY2(opened >= 1 && opened <= 6, qPrintable(QString("%1 connections opened").arg(opened)));
}

void TestPavrixCloud::certificatesAreVerified()
{
    // The search's answer: 0 found, else the failure's code.
    const auto search = [&] {
        SdkProbe probe;
        if (!probe.open() ||
            OpenSDK_StartSearchExtend(probe.sessionId.c_str(), kDevice, 1, timeText(m_t0).constData(),
                                      timeText(m_t0 + 60000).constData(), 3) != 0)
            return -1;
        const int found = probe.waitFor(OPENSDK_MSG_SEARCH_RESULT, 5000);
        const int failed = probe.waitFor(OPENSDK_MSG_SEARCH_FAILED, found >= 0 ? 0 : 5000);
        return found >= 0 ? 0 : failed >= 0 ? int(probe.messages()[failed].code) : -1;
    };
    // Without the simulator's CA the certificate is not trusted, unless
    // verification is turned off.
    qunsetenv("PAVRIX_CA_FILE");
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    QCOMPARE(search(), int(OPENSDK_ERR_NETWORK));
    qputenv("PAVRIX_TLS_VERIFY", "0");
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    QCOMPARE(search(), 0);
    qunsetenv("PAVRIX_TLS_VERIFY");
    qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    QCOMPARE(search(), 0);
}

QTEST_MAIN(TestPavrixCloud)
#include "tst_pavrix_cloud.moc"
