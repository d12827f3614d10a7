// The push channel against the simulator's push-information service and push
// server, and against servers of the test's own for what the simulator never does.
#include "SimulatorProcess.h"

#include "logkit/LogKit.h"
#include "native/LocalAddress.h"
#include "platform/CPlatformRequest.h"
#include "push/CPushChannel.h"
#include "push/CPushMsgAssembler.h"
#include "push/CTcpConnect.h"
#include "shell/LaunchValues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray localMac()
{
    std::string strIp;
    std::string strMac;
    GetLocalAddress(strIp, strMac);
    return QByteArray::fromStdString(strMac);
}

QByteArray clientText(const char* szType, const QString& strToken)
{
    return szType + QByteArray(",") + strToken.toUtf8() + localMac() + "test,10005";
}

std::string serverReply(quint16 nPort)
{
    return "{\"ip\":\"127.0.0.1\",\"port\":" + std::to_string(nPort) + "}";
}

// A loopback listener with no room in its accept queue once one peer waits
// there, so any further connect stays pending.
struct SilentServer
{
    int nFd = ::socket(AF_INET, SOCK_STREAM, 0);
    QTcpSocket filler;
    ~SilentServer() { ::close(nFd); }
    quint16 listen()
    {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLen = sizeof(addr);
        ::bind(nFd, reinterpret_cast<sockaddr*>(&addr), nLen);
        ::listen(nFd, 0);
        ::getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
        filler.connectToHost(QHostAddress::LocalHost, ntohs(addr.sin_port));
        return filler.waitForConnected(10000) ? ntohs(addr.sin_port) : 0;
    }
};

} // namespace

class TestPushChannel : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{{"--seed", "none"}};
    QTemporaryDir m_dir;

    QJsonArray pushClients() { return m_sim.admin("GET", "/admin/push/clients").value("clients").toArray(); }
    QByteArray lastPushed()
    {
        return pushClients().at(0).toObject().value("lastMessage").toString().toUtf8();
    }

private slots:
    void initTestCase()
    {
        logkit::startCapture();
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QFile file(m_dir.filePath("global_cfg.cfg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString("<Configure><push_info_url>%1/api/message/push/server/info</push_info_url>"
                           "<ca_file>%2</ca_file></Configure>")
                       .arg(m_sim.baseUrl(), m_sim.caFile())
                       .toUtf8());
        file.close();
        LaunchValues::update([&](LaunchValues& v) {
            v.Token = m_sim.token().toStdString();
            v.CfgPath = file.fileName().toStdString();
        });
    }

    void init()
    {
        logkit::clearCapture();
        QTRY_COMPARE_WITH_TIMEOUT(pushClients().size(), 0, 10000);
    }

    // Address from the service, START on the simulator's server, an alarm back.
    void addressFromServiceThenStartAndAlarm()
    {
        QNetworkAccessManager manager;
        CPushChannel channel;
        connect(&manager, &QNetworkAccessManager::finished, &channel, [&](QNetworkReply* reply) {
            QCOMPARE(CPlatformRequest::TagOf(reply), QString("GetPushUrl"));
            channel.OnPushUrlReply(CPlatformRequest::ReadBody(reply));
            reply->deleteLater();
        });
        channel.Start(manager);
        QTRY_VERIFY_WITH_TIMEOUT(channel.IsRunning(), 10000);
        const QJsonObject request = m_sim.lastRequests("/api/message/push/server/info").last().toObject();
        QCOMPARE(request.value("body").toString().toUtf8(),
                 "macAddress=" + localMac() + "test&accessToken=" + m_sim.token().toUtf8());
        QVERIFY(request.value("headers").toArray().contains(
            QJsonArray{"Content-Type", "application/x-www-form-urlencoded"}));

        QTRY_COMPARE_WITH_TIMEOUT(pushClients().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(lastPushed(), clientText("START", m_sim.token()), 10000);
        QSignalSpy spy(&channel, &CPushChannel::sigPushAlarm);
        const QJsonArray ids = m_sim.addAlarm({{"deviceSerial", "PV1000002"}, {"alarmType", "人体检测告警"}});
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 10000);
        // The payload is JSON with commas of its own: it survives only when whole.
        const QJsonObject alarm = QJsonDocument::fromJson(spy.at(0).at(0).toByteArray()).object();
        QCOMPARE(alarm.value("msgId").toInt(), ids.at(0).toInt());
        QCOMPARE(alarm.value("alarmType").toString(), QString("人体检测告警"));
        QVERIFY(channel.Stop());
    }

    // Heartbeats are sent, each with the token current at that moment.
    void heartbeatCarriesCurrentToken()
    {
        CPushChannel channel;
        channel.SetHeartbeatInterval(100);
        channel.OnPushUrlReply(serverReply(m_sim.pushPort()));
        QTRY_COMPARE_WITH_TIMEOUT(pushClients().size(), 1, 10000);
        LaunchValues::update([](LaunchValues& v) { v.Token = "renewedToken"; });
        QTRY_COMPARE_WITH_TIMEOUT(lastPushed(), clientText("HEARTBEAT", "renewedToken"), 10000);
        LaunchValues::update([&](LaunchValues& v) { v.Token = m_sim.token().toStdString(); });
        QVERIFY(channel.Stop());
    }

    // Replies that name no usable server start nothing; a second good one
    // replaces the running connection instead of adding one.
    void serverAddressReplies()
    {
        CPushChannel channel;
        for (const char* szBody : {"<html>", "{\"port\":9000}", "{\"ip\":\"127.0.0.1\",\"port\":\"x\"}",
                                   "{\"ip\":\"127.0.0.1\",\"port\":70000}",
                                   "{\"ip\":\"127.0.0.1\",\"port\":9223372036854775808}"}) {
            logkit::clearCapture();
            channel.OnPushUrlReply(szBody);
            QVERIFY2(logkit::captured("Parse TCP ip port error!", 5) && !channel.IsRunning(), szBody);
        }
        channel.OnPushUrlReply(serverReply(m_sim.pushPort()));
        QTRY_COMPARE_WITH_TIMEOUT(pushClients().size(), 1, 10000);
        const int nFirst = pushClients().at(0).toObject().value("id").toInt();
        channel.OnPushUrlReply(serverReply(m_sim.pushPort()));
        QTRY_VERIFY_WITH_TIMEOUT(
            pushClients().size() == 1 && pushClients().at(0).toObject().value("id").toInt() != nFirst, 10000);
        QVERIFY(channel.Stop());
    }

    void receivedTexts_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("payload"); // null: nothing handed over
        QTest::newRow("two in one read")
            << QByteArray("AIMSG,a,10005AIMSG,b") << QByteArray("a,10005AIMSG,b");
        QTest::newRow("empty alarm") << QByteArray("AIMSG,") << QByteArray("");
        QTest::newRow("heartbeat first") << QByteArray("HEARTBEAT,AIMSG,x") << QByteArray();
        QTest::newRow("start") << QByteArray("START,abc") << QByteArray();
        QTest::newRow("no comma") << QByteArray("AIMSG") << QByteArray();
    }
    // The server sends one text and closes: once the close is seen the text
    // has been handled, and the closed socket then takes heartbeats quietly.
    void receivedTexts()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, payload);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        CPushChannel channel;
        channel.SetHeartbeatInterval(20);
        QSignalSpy spy(&channel, &CPushChannel::sigPushAlarm);
        channel.OnPushUrlReply(serverReply(server.serverPort()));
        QVERIFY(server.waitForNewConnection(10000));
        QTcpSocket* pPeer = server.nextPendingConnection();
        pPeer->write(sent);
        pPeer->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("push server closed the connection"), 10000);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(spy.size(), payload.isNull() ? 0 : 1);
        QVERIFY(payload.isNull() || spy.at(0).at(0).toByteArray() == payload);
        QTest::qWait(100); // heartbeats fall due after the close
        QVERIFY(channel.Stop());
    }

    // Reads in, messages out: an alarm cut by a read boundary is held until
    // its JSON closes; one past the cap goes whole, with what follows of it.
    void messagesOverReads_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QList<QByteArray>>("messages");
        const QByteArray baAlarm = "AIMSG,{\"msgId\":7,\"alarmType\":\"a,b\",\"deviceSerial\":\"PV1\"}";
        QTest::newRow("whole") << QList<QByteArray>{baAlarm} << QList<QByteArray>{baAlarm};
        QTest::newRow("split in the payload")
            << QList<QByteArray>{baAlarm.left(20), baAlarm.mid(20, 15), baAlarm.mid(35)}
            << QList<QByteArray>{baAlarm};
        QTest::newRow("split in the type")
            << QList<QByteArray>{"AIM", baAlarm.mid(3)} << QList<QByteArray>{baAlarm};
        QTest::newRow("brace inside a string") << QList<QByteArray>{"AIMSG,{\"t\":\"}\\\"{\"", ",\"u\":1}"}
                                               << QList<QByteArray>{"AIMSG,{\"t\":\"}\\\"{\",\"u\":1}"};
        QTest::newRow("text payload is whole")
            << QList<QByteArray>{"AIMSG,abc"} << QList<QByteArray>{"AIMSG,abc"};
        QTest::newRow("never closed, then a new one")
            << QList<QByteArray>{"AIMSG,{\"a\":", baAlarm} << QList<QByteArray>{baAlarm};
        const QByteArray baBig = "AIMSG,{\"p\":\"" + QByteArray(CPushMsgAssembler::kMaxMessageBytes, 'x');
        QTest::newRow("oversized, its rest, then the next")
            << QList<QByteArray>{baBig.left(600000), baBig.mid(600000), "xx\"}", baAlarm}
            << QList<QByteArray>{baAlarm};
        QTest::newRow("exactly the cap")
            << QList<QByteArray>{"AIMSG," + QByteArray(CPushMsgAssembler::kMaxMessageBytes - 6, 'y')}
            << QList<QByteArray>{"AIMSG," + QByteArray(CPushMsgAssembler::kMaxMessageBytes - 6, 'y')};
    }
    void messagesOverReads()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QList<QByteArray>, messages);
        CPushMsgAssembler assembler;
        QList<QByteArray> out;
        for (const QByteArray& baRead : reads) {
            QByteArray baMessage;
            if (assembler.Feed(baRead, baMessage)) {
                out << baMessage;
            }
        }
        QCOMPARE(out, messages);
    }

    // A server that never accepts must not hold the worker past Stop's bound.
    void stopWhileConnecting()
    {
        SilentServer silent;
        const quint16 nPort = silent.listen();
        QVERIFY(nPort != 0);
        CPushChannel channel;
        channel.OnPushUrlReply(serverReply(nPort));
        QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("Connecting to push server"), 10000);
        QVERIFY(channel.Stop());
        QVERIFY(!logkit::captured("Connect Tcp Server Success!"));
    }
};

QTEST_GUILESS_MAIN(TestPushChannel)
#include "tst_pushchannel.moc"
