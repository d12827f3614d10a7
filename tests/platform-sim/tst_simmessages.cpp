// Message list, filters, paging, read state and deletion of the platform simulator.
#include "SimHttp.h"
#include "SimulatorProcess.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <openssl/evp.h>

namespace {

const qint64 kDay = 24 * 3600 * 1000LL;

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss");
}

// One AES-128-ECB block, the way the client reads "ipcValidateCode".
QByteArray decryptBlock(const QByteArray& base64, const QByteArray& key)
{
    QByteArray cipher = QByteArray::fromBase64(base64);
    if (cipher.size() < 16)
        return {};
    QByteArray plain(32, '\0');
    int n = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                       reinterpret_cast<const unsigned char*>(key.constData()), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &n,
                      reinterpret_cast<const unsigned char*>(cipher.constData()), 16);
    EVP_CIPHER_CTX_free(ctx);
    return plain.left(16);
}

} // namespace

class TestSimMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagingArithmetic();
    void eachFilter_data();
    void eachFilter();
    void usersSeeOnlyTheirMessages();
    void recordMembers();
    void validateCodeBlocks();
    void malformedBodiesGet400();
    void readStateAndDeletion();
    void deepPagesOfABulkStore();

private:
    QJsonObject list(const QJsonObject& criteria, const QString& token = {});

    SimulatorProcess m_sim{{"--seed", "none"}};
    std::unique_ptr<SimHttp> m_http;
    qint64 m_now = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
};

void TestSimMessages::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
    m_http = std::make_unique<SimHttp>(m_sim.caFile());
    auto add = [&](const QString& serial, int channel, int count, const QString& type, qint64 time,
                   bool read) {
        QJsonObject fields{{"deviceSerial", serial}, {"channelNo", channel}, {"count", count},
                           {"alarmType", type},      {"alarmTime", time},    {"isRead", read}};
        QCOMPARE(m_sim.addAlarm(fields).size(), count);
    };
    add("PV1000001", 1, 61, "移动侦测告警", m_now - 10 * kDay, false);
    add("PV1000002", 1, 10, "人体检测告警", m_now - kDay, true);
    add("PV2000100", 2, 5, "越界侦测告警", m_now - 2 * 3600 * 1000, false);
    add("PV2000100", 1, 3, "移动侦测告警", m_now - 3600 * 1000, false);
    QCOMPARE(m_sim.addAlarm({{"user", "second"}, {"count", 4}}).size(), 4);
}

QJsonObject TestSimMessages::list(const QJsonObject& criteria, const QString& token)
{
    QJsonObject body = criteria;
    body["clientType"] = 4;
    HttpResult r =
        m_http->post(m_sim.baseUrl() + "/api/msg/list", QJsonDocument(body).toJson(QJsonDocument::Compact),
                     token.isEmpty() ? m_sim.token() : token);
    if (r.status != 200)
        qWarning() << "status" << r.status << r.body;
    return r.json();
}

void TestSimMessages::pagingArithmetic()
{
    QJsonObject first = list({{"pageNo", 1}, {"pageSize", 30}});
    QCOMPARE(first.value("code").toString(), QString("200"));
    QCOMPARE(first.value("data").toArray().size(), 30);
    QJsonObject page = first.value("page").toObject();
    QCOMPARE(page.value("pageNo").toInt(), 1);
    QCOMPARE(page.value("size").toInt(), 30);
    QCOMPARE(page.value("total").toInt(), 79);

    // Newest first, without repeats across pages.
    QSet<int> seen;
    qint64 previous = std::numeric_limits<qint64>::max();
    for (int p = 1; p <= 3; ++p) {
        const QJsonArray rows = list({{"pageNo", p}, {"pageSize", 30}}).value("data").toArray();
        QCOMPARE(rows.size(), p < 3 ? 30 : 19);
        for (const QJsonValue& row : rows) {
            qint64 t = static_cast<qint64>(row.toObject().value("alarmTime").toDouble());
            QVERIFY(t <= previous);
            previous = t;
            QVERIFY(!seen.contains(row.toObject().value("id").toInt()));
            seen.insert(row.toObject().value("id").toInt());
        }
    }
    QCOMPARE(seen.size(), 79);

    QJsonObject past = list({{"pageNo", 4}, {"pageSize", 30}});
    QCOMPARE(past.value("data").toArray().size(), 0);
    QCOMPARE(past.value("page").toObject().value("total").toInt(), 79);
    QCOMPARE(past.value("page").toObject().value("pageNo").toInt(), 4);
}

void TestSimMessages::eachFilter_data()
{
    QTest::addColumn<QJsonObject>("criteria");
    QTest::addColumn<int>("total");
    QTest::newRow("no filter") << QJsonObject{} << 79;
    QTest::newRow("unread") << QJsonObject{{"isRead", 0}} << 69;
    QTest::newRow("read") << QJsonObject{{"isRead", 1}} << 10;
    QTest::newRow("2 means none") << QJsonObject{{"isRead", 2}, {"isEncrypt", 2}} << 79;
    QTest::newRow("encrypted") << QJsonObject{{"isEncrypt", 1}} << 18;
    QTest::newRow("plain") << QJsonObject{{"isEncrypt", 0}} << 61;
    QTest::newRow("device and channel") << QJsonObject{{"deviceSerial", "PV2000100"}, {"channelNo", 2}} << 5;
    QTest::newRow("device, any channel") << QJsonObject{{"deviceSerial", "PV2000100"}} << 8;
    QTest::newRow("alarm type") << QJsonObject{{"alarmType", "越界侦测告警"}} << 5;
    QTest::newRow("type and device") << QJsonObject{{"alarmType", "移动侦测告警"},
                                                    {"deviceSerial", "PV2000100"}}
                                     << 3;
    QTest::newRow("device and read") << QJsonObject{{"deviceSerial", "PV1000002"}, {"isRead", 0}} << 0;
    QTest::newRow("start only") << QJsonObject{{"startTime", timeText(m_now - 3 * kDay)}} << 18;
    QTest::newRow("end only") << QJsonObject{{"endTime", timeText(m_now - 5 * kDay)}} << 61;
    // The end second is inclusive: the last of the ten alarms sits exactly on it.
    QTest::newRow("window") << QJsonObject{{"startTime", timeText(m_now - kDay - 9000)},
                                           {"endTime", timeText(m_now - kDay)}}
                            << 10;
    QTest::newRow("window and unread")
        << QJsonObject{{"startTime", timeText(m_now - 3 * kDay)}, {"isRead", 0}} << 8;
    QTest::newRow("unknown device") << QJsonObject{{"deviceSerial", "NOPE"}, {"channelNo", 1}} << 0;
}

void TestSimMessages::eachFilter()
{
    QFETCH(QJsonObject, criteria);
    QFETCH(int, total);
    QJsonObject criteriaWithPage = criteria;
    criteriaWithPage["pageNo"] = 1;
    criteriaWithPage["pageSize"] = 100;
    QJsonObject reply = list(criteriaWithPage);
    QCOMPARE(reply.value("page").toObject().value("total").toInt(), total);
    const QJsonArray rows = reply.value("data").toArray();
    QCOMPARE(rows.size(), total);
    for (const QJsonValue& v : rows) {
        QJsonObject row = v.toObject();
        if (criteria.contains("isRead") && criteria.value("isRead").toInt() < 2)
            QCOMPARE(row.value("isRead").toInt(), criteria.value("isRead").toInt());
        if (criteria.contains("deviceSerial"))
            QCOMPARE(row.value("deviceSerial").toString(), criteria.value("deviceSerial").toString());
        if (criteria.contains("isEncrypt") && criteria.value("isEncrypt").toInt() < 2)
            QVERIFY(row.value("picUrl").toString().contains(
                QString("&isEncrypted=%1&").arg(criteria.value("isEncrypt").toInt())));
    }
}

void TestSimMessages::usersSeeOnlyTheirMessages()
{
    QJsonObject reply = list({{"pageNo", 1}, {"pageSize", 30}}, m_sim.secondUserToken());
    QCOMPARE(reply.value("page").toObject().value("total").toInt(), 4);
    QCOMPARE(reply.value("data").toArray().first().toObject().value("userId").toInt(), 2);
}

void TestSimMessages::recordMembers()
{
    QJsonObject row = list({{"deviceSerial", "PV1000002"}, {"channelNo", 1}, {"pageSize", 1}})
                          .value("data")
                          .toArray()
                          .first()
                          .toObject();
    for (const char* key : {"id", "saasUserId", "userId", "alarmType", "picUrl", "alarmTime", "deviceSerial",
                            "isRead", "deviceName", "channelNo", "createDate", "ipcValidateCode"})
        QVERIFY2(row.contains(key), key);
    QCOMPARE(row.value("alarmType").toString(), QString("人体检测告警"));
    QCOMPARE(row.value("deviceName").toString(), QString("西门出口"));
    QCOMPARE(static_cast<qint64>(row.value("alarmTime").toDouble()), m_now - kDay);
    QVERIFY(row.value("createDate").toDouble() >= row.value("alarmTime").toDouble());
    QString url = row.value("picUrl").toString();
    QVERIFY(url.startsWith(m_sim.baseUrl()));
    QVERIFY(url.indexOf("&isEncrypted=1&") > 0);
}

void TestSimMessages::validateCodeBlocks()
{
    QByteArray key = m_sim.aesKey().toLatin1();
    QCOMPARE(key.size(), 16);
    QMap<QString, QString> codeOf;
    for (const QJsonValue& c : m_sim.cameras())
        codeOf[c.toObject().value("deviceSerial").toString() + "/" +
               QString::number(c.toObject().value("channelNo").toInt())] =
            c.toObject().value("platformCode").toString();
    m_sim.addAlarm({{"deviceSerial", "PV1000003"}}); // an 8-character code
    m_sim.addAlarm({{"deviceSerial", "PV1000004"}}); // no code on the platform
    int sixes = 0, eights = 0, empties = 0;
    for (const QJsonValue& v : list({{"pageSize", 200}}).value("data").toArray()) {
        QJsonObject row = v.toObject();
        QString expected = codeOf.value(row.value("deviceSerial").toString() + "/" +
                                        QString::number(row.value("channelNo").toInt()));
        QByteArray text = row.value("ipcValidateCode").toString().toLatin1();
        if (expected.isEmpty()) {
            QVERIFY(text.isEmpty());
            ++empties;
            continue;
        }
        QByteArray block = decryptBlock(text, key);
        char fill = expected.size() == 8 ? 0x08 : 0x0A;
        QCOMPARE(block, expected.toLatin1() + QByteArray(16 - expected.size(), fill));
        expected.size() == 8 ? ++eights : ++sixes;
    }
    QVERIFY(sixes > 0 && eights > 0 && empties > 0);
}

void TestSimMessages::malformedBodiesGet400()
{
    for (const QByteArray& body :
         {QByteArray("{bad"), QByteArray("[]"), QByteArray(""), QByteArray("{\"pageNo\":\"x\"}"),
          QByteArray("{\"pageSize\":0}"), QByteArray("{\"startTime\":\"yesterday\"}"),
          QByteArray("{\"isRead\":7}")}) {
        HttpResult r = m_http->post(m_sim.baseUrl() + "/api/msg/list", body, m_sim.token());
        QCOMPARE(r.status, 400);
        QCOMPARE(r.json().value("code").toString(), QString("10001"));
        QVERIFY(!r.json().value("msg").toString().isEmpty());
    }
    // Still serving.
    QCOMPARE(list({}).value("page").toObject().value("total").toInt(), 81);
}

void TestSimMessages::readStateAndDeletion()
{
    auto unread = [&] { return list({{"isRead", 0}}).value("page").toObject().value("total").toInt(); };
    auto total = [&] { return list({}).value("page").toObject().value("total").toInt(); };
    auto call = [&](const char* path, const QByteArray& body) {
        return m_http->post(m_sim.baseUrl() + path, body, m_sim.token()).json();
    };
    int before = unread();
    int id =
        list({{"isRead", 0}, {"pageSize", 1}}).value("data").toArray().first().toObject().value("id").toInt();
    QCOMPARE(call("/api/msg/update/read", QString("{\"id\":%1}").arg(id).toUtf8()).value("code").toString(),
             QString("200"));
    QCOMPARE(unread(), before - 1);
    call("/api/msg/update/read", QString("{\"id\":%1}").arg(id).toUtf8());
    QCOMPARE(unread(), before - 1);
    QCOMPARE(call("/api/msg/update/read", "{\"id\":999999}").value("code").toString(), QString("20001"));

    int all = total();
    QCOMPARE(call("/api/msg/delete", QString("{\"id\":%1}").arg(id).toUtf8()).value("code").toString(),
             QString("200"));
    QCOMPARE(total(), all - 1);
    QCOMPARE(call("/api/msg/delete", QString("{\"id\":%1}").arg(id).toUtf8()).value("code").toString(),
             QString("20001"));

    QJsonArray page = list({{"pageSize", 3}}).value("data").toArray();
    QJsonArray secondUsers = list({{"pageSize", 1}}, m_sim.secondUserToken()).value("data").toArray();
    QJsonArray ids{page[0].toObject().value("id"), page[1].toObject().value("id"),
                   page[2].toObject().value("id"), id, secondUsers[0].toObject().value("id")};
    QJsonObject batch{{"clientType", 4}, {"ids", ids}};
    QJsonObject reply = call("/api/msg/delete/batch", QJsonDocument(batch).toJson(QJsonDocument::Compact));
    QCOMPARE(reply.value("data").toObject().value("count").toInt(), 3);
    QCOMPARE(total(), all - 4);
    QCOMPARE(list({}, m_sim.secondUserToken()).value("page").toObject().value("total").toInt(), 4);
    QCOMPARE(
        m_http->post(m_sim.baseUrl() + "/api/msg/delete/batch", "{\"ids\":[\"x\"]}", m_sim.token()).status,
        400);

    // The client sends read-all without a body.
    QCOMPARE(call("/api/msg/update/read/all", "").value("code").toString(), QString("200"));
    QCOMPARE(unread(), 0);
    QCOMPARE(total(), all - 4);
}

void TestSimMessages::deepPagesOfABulkStore()
{
    // Enough alarms that deep pages and long windows take the per-day path.
    SimulatorProcess bulk{{"--seed", "large", "--large-count", "45000"}};
    QVERIFY2(bulk.start(), qPrintable(bulk.errorString()));
    SimHttp http(bulk.caFile());
    auto page = [&](QJsonObject criteria) {
        criteria["clientType"] = 4;
        return http
            .post(bulk.baseUrl() + "/api/msg/list", QJsonDocument(criteria).toJson(QJsonDocument::Compact),
                  bulk.token())
            .json();
    };
    const int size = 1000;
    QCOMPARE(page({{"pageSize", size}}).value("page").toObject().value("total").toInt(), 45000);
    QSet<qint64> ids;
    qint64 lastTime = std::numeric_limits<qint64>::max();
    qint64 lastId = std::numeric_limits<qint64>::max();
    for (int p = 1; p <= 45; ++p) {
        const QJsonArray rows = page({{"pageNo", p}, {"pageSize", size}}).value("data").toArray();
        QCOMPARE(rows.size(), size);
        for (const QJsonValue& v : rows) {
            qint64 t = static_cast<qint64>(v.toObject().value("alarmTime").toDouble());
            qint64 id = v.toObject().value("id").toInt();
            QVERIFY(t < lastTime || (t == lastTime && id < lastId));
            lastTime = t;
            lastId = id;
            ids.insert(id);
        }
    }
    QCOMPARE(ids.size(), 45000);
    QCOMPARE(page({{"pageNo", 46}, {"pageSize", size}}).value("data").toArray().size(), 0);

    // A long window cut inside days: the total matches the rows, and the filters agree with each other.
    QJsonObject window{{"startTime", timeText(m_now - 40 * kDay + 12345000)},
                       {"endTime", timeText(m_now - 5 * kDay - 999000)},
                       {"pageSize", size}};
    int total = page(window).value("page").toObject().value("total").toInt();
    QVERIFY(total > 10000 && total < 45000);
    QJsonObject read = window, unread = window;
    read["isRead"] = 1;
    unread["isRead"] = 0;
    QCOMPARE(page(read).value("page").toObject().value("total").toInt() +
                 page(unread).value("page").toObject().value("total").toInt(),
             total);
    QJsonObject last = window;
    last["pageNo"] = (total + size - 1) / size;
    QCOMPARE(page(last).value("data").toArray().size(), total % size == 0 ? size : total % size);
    QJsonObject deep = window;
    deep["pageNo"] = 12;
    deep["pageSize"] = 1000;
    QJsonObject shallow = window;
    shallow["pageNo"] = 23;
    shallow["pageSize"] = 500;
    QCOMPARE(page(deep).value("data").toArray().first(), page(shallow).value("data").toArray().first());
}

QTEST_MAIN(TestSimMessages)
#include "tst_simmessages.moc"
