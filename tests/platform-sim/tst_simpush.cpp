// The TCP push server of the platform simulator.
#include "SimulatorProcess.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Reads until the data holds text or the bounded wait ends.
QByteArray readUntil(QTcpSocket& socket, const QByteArray& text, int timeoutMs = 10000)
{
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    while (!data.contains(text) && !deadline.hasExpired()) {
        if (socket.bytesAvailable() || socket.waitForReadyRead(100))
            data += socket.readAll();
    }
    return data;
}

} // namespace

class TestSimPush : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void alarmsReachEveryClient();
    void startAndHeartbeatAreRecorded();
    void junkDoesNotHurtOthers();

private:
    bool connectClient(QTcpSocket& socket);
    QJsonArray clients() { return m_sim.admin("GET", "/admin/push/clients").value("clients").toArray(); }

    SimulatorProcess m_sim{{"--seed", "none"}};
};

void TestSimPush::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
}

bool TestSimPush::connectClient(QTcpSocket& socket)
{
    socket.connectToHost("127.0.0.1", static_cast<quint16>(m_sim.pushPort()));
    if (!socket.waitForConnected(10000))
        return false;
    socket.write("START," + m_sim.token().toUtf8() + "00:11:22:33:44:55test,10005");
    return socket.waitForBytesWritten(10000);
}

void TestSimPush::alarmsReachEveryClient()
{
    QTcpSocket a;
    QTcpSocket b;
    QVERIFY(connectClient(a));
    QVERIFY(connectClient(b));
    QDeadlineTimer deadline(10000);
    while (clients().size() < 2 && !deadline.hasExpired())
        QTest::qWait(20);
    QCOMPARE(clients().size(), 2);

    QJsonObject reply =
        m_sim.admin("POST", "/admin/alarms", {{"deviceSerial", "PV1000002"}, {"alarmType", "人体检测告警"}});
    QCOMPARE(reply.value("pushed").toInt(), 2);
    int id = reply.value("ids").toArray().first().toInt();
    for (QTcpSocket* socket : {&a, &b}) {
        QByteArray data = readUntil(*socket, "}");
        QVERIFY2(data.startsWith("AIMSG,"), data.constData());
        QJsonObject payload = QJsonDocument::fromJson(data.mid(6)).object();
        QCOMPARE(payload.value("msgId").toInt(), id);
        QCOMPARE(payload.value("deviceSerial").toString(), QString("PV1000002"));
        QCOMPARE(payload.value("channelNo").toInt(), 1);
        QCOMPARE(payload.value("alarmType").toString(), QString("人体检测告警"));
    }
    // An alarm added with "push" false reaches nobody.
    QVERIFY(m_sim.admin("POST", "/admin/alarms", {{"push", false}}).value("pushed").toInt() == 0);
    QVERIFY(!a.waitForReadyRead(300));
}

void TestSimPush::startAndHeartbeatAreRecorded()
{
    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    QTest::qWait(100);
    socket.write("HEARTBEAT," + m_sim.token().toUtf8() + "00:11:22:33:44:55test,10005");
    socket.waitForBytesWritten(10000);
    // Two messages in one write are still two.
    socket.write("HEARTBEAT,xtest,10005HEARTBEAT,ytest,10005");
    socket.waitForBytesWritten(10000);
    QJsonObject mine;
    QDeadlineTimer deadline(10000);
    while (mine.value("heartbeats").toInt() < 3 && !deadline.hasExpired()) {
        for (const QJsonValue& c : clients()) {
            if (c.toObject().value("starts").toInt() == 1 && c.toObject().value("heartbeats").toInt() >= 1)
                mine = c.toObject();
        }
        QTest::qWait(20);
    }
    QCOMPARE(mine.value("heartbeats").toInt(), 3);
    QCOMPARE(mine.value("lastMessage").toString(), QString("HEARTBEAT,ytest,10005"));
}

void TestSimPush::junkDoesNotHurtOthers()
{
    QTcpSocket good;
    QVERIFY(connectClient(good));
    QTcpSocket junk;
    junk.connectToHost("127.0.0.1", static_cast<quint16>(m_sim.pushPort()));
    QVERIFY(junk.waitForConnected(10000));
    junk.write(QByteArray(100 * 1024, 'x'));
    junk.waitForBytesWritten(10000);
    QVERIFY(junk.state() == QAbstractSocket::UnconnectedState || junk.waitForDisconnected(10000));
    QJsonObject reply = m_sim.admin("POST", "/admin/alarms", {});
    QVERIFY(reply.value("pushed").toInt() >= 1);
    QVERIFY(readUntil(good, "}").startsWith("AIMSG,"));
}

QTEST_MAIN(TestSimPush)
#include "tst_simpush.moc"
