// Snapshot pictures and the device cloud (recording search and frame streams) of the platform simulator.
#include "SimHttp.h"
#include "SimulatorProcess.h"

#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QUrlQuery>
#include <QtTest>

#include <openssl/evp.h>
#include <openssl/sha.h>

namespace {

// The client's side of an encrypted picture; empty for a wrong code or a damaged object.
QByteArray decryptPicture(const QByteArray& object, const QByteArray& code)
{
    if (object.size() < 53 || !object.startsWith("PVXE") || object[4] != 1)
        return {};
    QByteArray salt = object.mid(5, 16);
    QByteArray iv = object.mid(21, 16);
    QByteArray material = salt + code;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(material.constData()), static_cast<size_t>(material.size()),
           digest);
    QByteArray plain(object.size(), '\0');
    int n1 = 0, n2 = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, digest,
                       reinterpret_cast<const unsigned char*>(iv.constData()));
    bool ok = EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &n1,
                                reinterpret_cast<const unsigned char*>(object.constData()) + 37,
                                object.size() - 37) &&
              EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + n1, &n2);
    EVP_CIPHER_CTX_free(ctx);
    plain.resize(n1 + n2);
    return ok && plain.startsWith("\xFF\xD8") ? plain : QByteArray();
}

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss");
}

} // namespace

class TestSimMedia : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void plainPictureIsAJpeg();
    void encryptedPictureRoundTrip();
    void expiredDeletedAndRedirectedPictures();
    void recordingSearch();
    void streamSendsPacedFramesAndAnEnd();
    void streamSkipsGaps();
    void streamRefusals();
    void streamEndedOrStalledByAdmin();
    void deviceGoingOfflineMidStream();

private:
    QJsonObject newestAlarm(const QString& serial);
    QString cloud(const char* what, const QString& serial, qint64 from, qint64 to, const QString& code = {});
    QList<CloudFrame> streamFrames(const QString& url, HttpResult* result = nullptr,
                                   const std::function<void(const QList<CloudFrame>&)>& onFrames = {});

    SimulatorProcess m_sim{{"--seed", "none"}};
    std::unique_ptr<SimHttp> m_http;
    qint64 m_t = (QDateTime::currentMSecsSinceEpoch() / 1000 - 3600) * 1000;
};

void TestSimMedia::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    m_http = std::make_unique<SimHttp>(m_sim.caFile());
    QCOMPARE(m_sim.addAlarm({{"deviceSerial", "PV1000001"}, {"alarmTime", m_t}}).size(), 1);
    QCOMPARE(m_sim.addAlarm({{"deviceSerial", "PV1000001"}, {"alarmTime", m_t + 400000}}).size(), 1);
    QCOMPARE(m_sim.addAlarm({{"deviceSerial", "PV1000002"}, {"alarmTime", m_t}}).size(), 1);
}

QJsonObject TestSimMedia::newestAlarm(const QString& serial)
{
    QJsonObject body{
        {"clientType", 4}, {"pageNo", 1}, {"pageSize", 1}, {"deviceSerial", serial}, {"channelNo", 1}};
    return m_http
        ->post(m_sim.baseUrl() + "/api/msg/list", QJsonDocument(body).toJson(QJsonDocument::Compact),
               m_sim.token())
        .json()
        .value("data")
        .toArray()
        .first()
        .toObject();
}

QString TestSimMedia::cloud(const char* what, const QString& serial, qint64 from, qint64 to,
                            const QString& code)
{
    QUrlQuery q;
    q.addQueryItem("device", serial);
    q.addQueryItem("channel", "1");
    q.addQueryItem("start", QString::fromUtf8(QUrl::toPercentEncoding(timeText(from))));
    q.addQueryItem("end", QString::fromUtf8(QUrl::toPercentEncoding(timeText(to))));
    if (!code.isNull())
        q.addQueryItem("code", code);
    return m_sim.cloudUrl() + "/v1/" + what + "?" + q.toString(QUrl::FullyEncoded);
}

QList<CloudFrame> TestSimMedia::streamFrames(const QString& url, HttpResult* result,
                                             const std::function<void(const QList<CloudFrame>&)>& onFrames)
{
    QByteArray buffer;
    QList<CloudFrame> frames;
    HttpResult r = m_http->stream(url, m_sim.accessToken(), [&](const QByteArray& data) {
        buffer += data;
        if (!takeFrames(buffer, frames))
            return false;
        if (onFrames)
            onFrames(frames);
        return true;
    });
    if (result)
        *result = r;
    return frames;
}

void TestSimMedia::plainPictureIsAJpeg()
{
    QJsonObject alarm = newestAlarm("PV1000001");
    QVERIFY(alarm.value("picUrl").toString().contains("&isEncrypted=0&"));
    HttpResult r = m_http->get(alarm.value("picUrl").toString());
    QCOMPARE(r.status, 200);
    QImage image;
    QVERIFY(image.loadFromData(r.body, "JPEG"));
    QVERIFY(image.width() > 100);
}

void TestSimMedia::encryptedPictureRoundTrip()
{
    QJsonObject alarm = newestAlarm("PV1000002");
    QString url = alarm.value("picUrl").toString();
    QVERIFY(url.indexOf("&isEncrypted=1&") > 0);
    QCOMPARE(m_http->get(url).status, 401);
    QCOMPARE(m_http->get(url, "not-a-token").status, 401);

    HttpResult r = m_http->get(url, m_sim.accessToken());
    QCOMPARE(r.status, 200);
    QVERIFY(r.body.startsWith("PVXE"));
    QByteArray jpeg = decryptPicture(r.body, "QWERTY");
    QImage image;
    QVERIFY(image.loadFromData(jpeg, "JPEG"));
    // A wrong code shows as bad padding or as bytes that are no picture.
    for (const QByteArray& wrong : {QByteArray("QWERTZ"), QByteArray(""), QByteArray("qwerty")})
        QVERIFY(decryptPicture(r.body, wrong).isEmpty());
    // Fresh salt and IV on every fetch, same picture inside.
    HttpResult again = m_http->get(url, m_sim.trustAccessToken());
    QCOMPARE(again.status, 200);
    QVERIFY(again.body != r.body);
    QCOMPARE(decryptPicture(again.body, "QWERTY"), jpeg);
}

void TestSimMedia::expiredDeletedAndRedirectedPictures()
{
    m_sim.addAlarm({{"deviceSerial", "PV3000007"}, {"expired", true}});
    QCOMPARE(m_http->get(newestAlarm("PV3000007").value("picUrl").toString()).status, 404);

    m_sim.addAlarm({{"deviceSerial", "PV3000009"}, {"redirect", true}});
    QString url = newestAlarm("PV3000009").value("picUrl").toString();
    HttpResult moved = m_http->get(url);
    QCOMPARE(moved.status, 302);
    QVERIFY(moved.location.contains("&isEncrypted=0&"));
    HttpResult landed = m_http->get(QString::fromUtf8(moved.location));
    QCOMPARE(landed.status, 200);
    QVERIFY(landed.body.startsWith("\xFF\xD8"));

    QJsonObject alarm = newestAlarm("PV3000009");
    QJsonObject del{{"id", alarm.value("id")}};
    m_http->post(m_sim.baseUrl() + "/api/msg/delete", QJsonDocument(del).toJson(QJsonDocument::Compact),
                 m_sim.token());
    QCOMPARE(m_http->get(QString::fromUtf8(moved.location)).status, 404);
}

void TestSimMedia::recordingSearch()
{
    HttpResult r = m_http->get(cloud("records", "PV1000001", m_t - 60000, m_t + 60000), m_sim.accessToken());
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json().value("code").toInt(), 0);
    QJsonArray records = r.json().value("records").toArray();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].toObject().value("start").toString(), timeText(m_t - 60000));
    QCOMPARE(records[0].toObject().value("end").toString(), timeText(m_t + 60000));

    QJsonArray two = m_http->get(cloud("records", "PV1000001", m_t, m_t + 400000), m_sim.accessToken())
                         .json()
                         .value("records")
                         .toArray();
    QCOMPARE(two.size(), 2);
    QVERIFY(two[0].toObject().value("start").toString() < two[1].toObject().value("start").toString());

    QCOMPARE(m_http->get(cloud("records", "PV1000001", m_t - 900000, m_t - 800000), m_sim.accessToken())
                 .json()
                 .value("records")
                 .toArray()
                 .size(),
             0);
    HttpResult unknown = m_http->get(cloud("records", "NOPE", m_t, m_t + 1000), m_sim.accessToken());
    QCOMPARE(unknown.status, 404);
    QCOMPARE(unknown.json().value("code").toInt(), 320001);
    HttpResult badToken = m_http->get(cloud("records", "PV1000001", m_t, m_t + 1000), m_sim.token());
    QCOMPARE(badToken.status, 401);
    QCOMPARE(badToken.json().value("code").toInt(), 310002);
    QCOMPARE(m_http->get(m_sim.cloudUrl() + "/v1/records?device=PV1000001", m_sim.accessToken()).status, 400);
}

void TestSimMedia::streamSendsPacedFramesAndAnEnd()
{
    HttpResult result;
    QList<CloudFrame> frames =
        streamFrames(cloud("stream", "PV1000001", m_t, m_t + 2000, "ABCDEF") + "&fps=5", &result);
    QCOMPARE(result.status, 200);
    QCOMPARE(frames.size(), 11);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(frames[i].kind, 1);
        QCOMPARE(frames[i].onScreenMs, m_t + i * 200);
        QImage image;
        QVERIFY(image.loadFromData(frames[i].payload, "JPEG"));
        QCOMPARE(image.size(), QSize(320, 180));
    }
    QCOMPARE(frames.last().kind, 2);
    QVERIFY(frames.last().payload.isEmpty());

    // A larger picture at the highest rate, as a high-definition camera sends it.
    frames = streamFrames(cloud("stream", "PV1000001", m_t, m_t + 1000, "ABCDEF") + "&fps=25&size=1280x720",
                          &result);
    QCOMPARE(result.status, 200);
    QCOMPARE(frames.size(), 26);
    QCOMPARE(frames[24].onScreenMs, m_t + 24 * 40);
    QCOMPARE(QImage::fromData(frames[24].payload, "JPEG").size(), QSize(1280, 720));
}

void TestSimMedia::streamSkipsGaps()
{
    // Recordings end at t+90 s and start again at t+310 s.
    QList<CloudFrame> frames =
        streamFrames(cloud("stream", "PV1000001", m_t + 89000, m_t + 311000, "ABCDEF"));
    QCOMPARE(frames.size(), 11);
    QCOMPARE(frames[0].onScreenMs, m_t + 89000);
    QCOMPARE(frames[4].onScreenMs, m_t + 89800);
    QCOMPARE(frames[5].onScreenMs, m_t + 310000);
    QCOMPARE(frames.last().kind, 2);
}

void TestSimMedia::streamRefusals()
{
    struct Case
    {
        QString url;
        QString token;
        int status;
        int code;
    } cases[] = {
        {cloud("stream", "PV1000001", m_t, m_t + 1000, "WRONG!"), m_sim.accessToken(), 403, 502012},
        {cloud("stream", "PV1000006", m_t, m_t + 1000, "PARKBB02"), m_sim.accessToken(), 503, 502604},
        {cloud("stream", "NOPE", m_t, m_t + 1000, "x"), m_sim.accessToken(), 404, 320001},
        {cloud("stream", "PV1000001", m_t, m_t + 1000, "ABCDEF"), m_sim.token(), 401, 310002},
        {cloud("stream", "PV1000001", m_t, m_t + 1000, "ABCDEF") + "&size=4000x3000", m_sim.accessToken(),
         400, 100002},
    };
    for (const Case& c : cases) {
        HttpResult r = m_http->get(c.url, c.token);
        QCOMPARE(r.status, c.status);
        QCOMPARE(r.json().value("code").toInt(), c.code);
    }
}

void TestSimMedia::streamEndedOrStalledByAdmin()
{
    // Ended: the connection closes without an end frame.
    bool ended = false;
    QList<CloudFrame> frames = streamFrames(cloud("stream", "PV1000001", m_t, m_t + 60000, "ABCDEF"), nullptr,
                                            [&](const QList<CloudFrame>&) {
                                                if (!ended)
                                                    ended = m_sim.controlStreams("end", "PV1000001", 1) == 1;
                                            });
    QVERIFY(ended);
    QVERIFY(!frames.isEmpty() && frames.size() < 20);
    QCOMPARE(frames.last().kind, 1);

    // Stalled, then resumed: nothing is lost and the end frame still comes.
    bool stalled = false;
    bool wasListedStalled = false;
    frames = streamFrames(
        cloud("stream", "PV1000001", m_t, m_t + 1000, "ABCDEF"), nullptr, [&](const QList<CloudFrame>&) {
            if (stalled)
                return;
            stalled = m_sim.controlStreams("stall") == 1;
            QJsonArray list = m_sim.admin("GET", "/admin/streams").value("streams").toArray();
            wasListedStalled = list.size() == 1 && list[0].toObject().value("stalled").toBool();
            QTimer::singleShot(500, [this] { m_sim.controlStreams("resume"); });
        });
    QVERIFY(stalled);
    QVERIFY(wasListedStalled);
    QCOMPARE(frames.size(), 6);
    QCOMPARE(frames.last().kind, 2);
}

void TestSimMedia::deviceGoingOfflineMidStream()
{
    bool offline = false;
    QList<CloudFrame> frames = streamFrames(cloud("stream", "PV1000001", m_t, m_t + 30000, "ABCDEF"), nullptr,
                                            [&](const QList<CloudFrame>&) {
                                                if (!offline)
                                                    offline = m_sim.setDeviceOnline("PV1000001", 1, false);
                                            });
    QVERIFY(m_sim.setDeviceOnline("PV1000001", 1, true));
    QVERIFY(offline);
    QCOMPARE(frames.last().kind, 3);
    QCOMPARE(QJsonDocument::fromJson(frames.last().payload).object().value("code").toInt(), 502604);
}

QTEST_MAIN(TestSimMedia)
#include "tst_simmedia.moc"
