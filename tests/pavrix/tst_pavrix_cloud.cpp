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
const char kEncryptedDevice[] = "PV1000002";

QByteArray timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss").toUtf8();
}

} // namespace

class TestPavrixCloud : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
        qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
        QCOMPARE(OpenSDK_Init(m_sim.appKey().toUtf8().constData()), 0);
        QCOMPARE(OpenSDK_SetAccessToken(m_sim.accessToken().toUtf8().constData()), 0);
        // Thirty days back nothing else is recorded on the device.
        m_t0 = (QDateTime::currentMSecsSinceEpoch() / 1000 - 30 * 86400) * 1000;
        QVERIFY(!m_sim.addAlarm({{"deviceSerial", kDevice}, {"alarmTime", m_t0}, {"push", false}}).isEmpty());
    }

    void cleanupTestCase() { OpenSDK_FiniLib(); }

    void lostStreamIsAnAbnormalEnd()
    {
        SdkProbe probe;
        QVERIFY(probe.open());
        QCOMPARE(OpenSDK_StartPlayBackEx(probe.sessionId.c_str(), nullptr, kDevice, 1, "ABCDEF",
                                         timeText(m_t0 - 60000).constData(),
                                         timeText(m_t0 + 60000).constData()),
                 0);
        QVERIFY(probe.waitForFrames(2));
        QVERIFY(m_sim.controlStreams("end", kDevice) >= 1);
        QVERIFY(probe.waitFor(OPENSDK_MSG_PLAY_ABNORMAL_END, 5000) >= 0);
        QCOMPARE(probe.waitFor(OPENSDK_MSG_PLAY_END, 0), -1);
        QCOMPARE(probe.waitFor(OPENSDK_MSG_PLAY_STOPPED, 0), -1);
    }

    void picturesReuseConnectionsSurviveClosedOnesAndGoInParallel()
    {
        // Twelve new pictures of the encrypted camera, their addresses from the message list.
        const QJsonArray ids =
            m_sim.addAlarm({{"deviceSerial", kEncryptedDevice}, {"count", 12}, {"push", false}});
        QNetworkRequest request(QUrl(m_sim.baseUrl() + "/api/msg/list"));
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setCaCertificates(QSslCertificate::fromPath(m_sim.caFile()));
        request.setSslConfiguration(ssl);
        request.setRawHeader("Authorization", "Bearer " + m_sim.token().toUtf8());
        request.setRawHeader("userType", "enterprise");
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkAccessManager manager;
        std::unique_ptr<QNetworkReply> reply(manager.post(
            request,
            QJsonDocument(QJsonObject{{"pageSize", 100}, {"deviceSerial", kEncryptedDevice}}).toJson()));
        QVERIFY(QSignalSpy(reply.get(), &QNetworkReply::finished).wait(20000));
        QList<QByteArray> urls;
        for (const QJsonValue& row :
             QJsonDocument::fromJson(reply->readAll()).object().value("data").toArray()) {
            if (ids.contains(row.toObject().value("id")))
                urls << row.toObject().value("picUrl").toString().toUtf8();
        }
        QCOMPARE(urls.size(), 12);

        // One after another over one kept-alive connection (perhaps one left from earlier).
        qint64 before = connectionsAccepted();
        QList<QByteArray> alone;
        for (const QByteArray& url : urls)
            alone << decrypted(url);
        QVERIFY2(connectionsAccepted() - before <= 1,
                 "pictures fetched one after another opened several connections");

        // The server closes its idle connections; then twelve callers at once, more
        // than the library opens to one server: each gets its own picture.
        QVERIFY(m_sim.admin("POST", "/admin/connections/close").value("ok").toBool());
        before = connectionsAccepted();
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

        // The server drops the request on a kept-alive connection, as when it closes
        // the connection just as the request goes out: sent once more, on a new one.
        const QString path = QUrl(QString::fromUtf8(urls[1])).path();
        QVERIFY(m_sim.setFault(path, 0, 0, true, 1));
        before = connectionsAccepted();
        QCOMPARE(decrypted(urls[1]), alone[1]);
        QCOMPARE(connectionsAccepted() - before, qint64(1));

        // Dropped again on the fresh connection: a network failure, not a loop.
        QVERIFY(m_sim.setFault(path, 0, 0, true, 2));
        QVERIFY(decrypted(urls[1]).isEmpty());
        QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NETWORK));
        QCOMPARE(decrypted(urls[1]), alone[1]);
    }

    void certificatesAreVerified()
    {
        // Without the simulator's CA the certificate is not trusted, unless
        // verification is turned off.
        const struct
        {
            QByteArray caFile, verify;
            unsigned int failure; // 0: found
        } settings[] = {{"", "1", OPENSDK_ERR_NETWORK}, {"", "0", 0}, {m_sim.caFile().toUtf8(), "1", 0}};
        for (const auto& setting : settings) {
            qputenv("PAVRIX_CA_FILE", setting.caFile);
            qputenv("PAVRIX_TLS_VERIFY", setting.verify);
            QCOMPARE(OpenSDK_Init("app-key"), 0);
            SdkProbe probe;
            QVERIFY(probe.open());
            QCOMPARE(OpenSDK_StartSearchExtend(probe.sessionId.c_str(), kDevice, 1,
                                               timeText(m_t0).constData(), timeText(m_t0 + 60000).constData(),
                                               3),
                     0);
            const int index =
                probe.waitFor(setting.failure ? OPENSDK_MSG_SEARCH_FAILED : OPENSDK_MSG_SEARCH_RESULT);
            QVERIFY2(index >= 0, (setting.verify + " " + setting.caFile).constData());
            QCOMPARE(setting.failure ? probe.messages()[index].code : 0u, setting.failure);
        }
    }

private:
    // The picture's bytes, empty when the library refused.
    QByteArray decrypted(const QByteArray& url)
    {
        char* buffer = nullptr;
        int size = 0;
        if (OpenSDK_DecryptPicture(m_sim.accessToken().toUtf8().constData(), url.constData(),
                                   kEncryptedDevice, "QWERTY", &buffer, &size) != 0)
            return {};
        const QByteArray bytes(buffer, size);
        OpenSDK_Data_Free(buffer);
        return bytes;
    }

    qint64 connectionsAccepted()
    {
        return qint64(m_sim.admin("GET", "/admin/connections").value("accepted").toDouble());
    }

    SimulatorProcess m_sim;
    qint64 m_t0 = 0; // a recording [t0-90 s, t0+90 s] on kDevice
};

QTEST_MAIN(TestPavrixCloud)
#include "tst_pavrix_cloud.moc"
