// The push channel against the simulator's push-information service and push
// server, and the message assembler alone.
#include "ModuleLaunch.h"

#include "base/LaunchValues.h"
#include "logkit/LogKit.h"
#include "platform/CPlatformRequest.h"
#include "push/CPushChannel.h"
#include "push/CPushMsgAssembler.h"
#include "push/CTcpConnect.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string ServerReply(quint16 nPort)
{
    return "{\"ip\":\"127.0.0.1\",\"port\":" + std::to_string(nPort) + "}";
}

} // namespace

class TestPushChannel : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{{"--seed", "none"}};
    QTemporaryDir m_dir;

    QJsonArray pushClients() { return m_sim.admin("GET", "/admin/push/clients").value("clients").toArray(); }
    QByteArray lastPushed() { return pushClients().at(0)["lastMessage"].toString().toUtf8(); }

private slots:
    void initTestCase()
    {
        logkit::startCapture();
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        const QString strCfg = WriteModuleConfig(
            m_dir.path(), m_sim,
            QString("<push_info_url>%1/api/message/push/server/info</push_info_url>").arg(m_sim.baseUrl()));
        LaunchValues::update([&](LaunchValues& v) {
            v.Token = m_sim.token().toStdString();
            v.CfgPath = strCfg.toStdString();
        });
    }

    // Address from the service, START, heartbeats with the token of their
    // moment, an alarm whose JSON has commas of its own arriving whole; a
    // second address replaces the connection instead of adding one.
    void operatorsChannel()
    {
        QNetworkAccessManager manager;
        CPushChannel channel;
        channel.SetHeartbeatInterval(100);
        connect(&manager, &QNetworkAccessManager::finished, &channel, [&](QNetworkReply* reply) {
            channel.OnPushUrlReply(CPlatformRequest::ReadBody(reply));
            reply->deleteLater();
        });
        channel.Start(manager);
        QTRY_VERIFY_WITH_TIMEOUT(lastPushed().startsWith("START," + m_sim.token().toUtf8()), 10000);
        LaunchValues::update([](LaunchValues& v) { v.Token = "renewedToken"; });
        QTRY_VERIFY_WITH_TIMEOUT(lastPushed().startsWith("HEARTBEAT,renewedToken"), 10000);

        QSignalSpy spy(&channel, &CPushChannel::sigPushAlarm);
        const QJsonArray ids = m_sim.addAlarm({{"deviceSerial", "PV1000002"}, {"alarmType", "人体检测告警"}});
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 10000);
        const QJsonObject alarm = QJsonDocument::fromJson(spy.at(0).at(0).toByteArray()).object();
        QCOMPARE(alarm.value("msgId").toInt(), ids.at(0).toInt());

        const int nFirst = pushClients().at(0)["id"].toInt();
        channel.OnPushUrlReply(ServerReply(m_sim.pushPort()));
        QTRY_VERIFY_WITH_TIMEOUT(pushClients().size() == 1 && pushClients().at(0)["id"].toInt() != nFirst,
                                 10000);
        QVERIFY(channel.Stop());
    }

    // Reads in, alarm payloads out: an alarm cut by a read boundary is held
    // until its JSON closes; one past the cap goes whole, with what follows.
    void alarmsOverReads_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QList<QByteArray>>("payloads");
        const QByteArray baJson = "{\"msgId\":7,\"alarmType\":\"a,b\",\"deviceSerial\":\"PV1\"}";
        const QByteArray baAlarm = "AIMSG," + baJson;
        QTest::newRow("split in the payload")
            << QList<QByteArray>{baAlarm.left(20), baAlarm.mid(20, 15), baAlarm.mid(35)}
            << QList<QByteArray>{baJson};
        QTest::newRow("split in the type")
            << QList<QByteArray>{"AIM", baAlarm.mid(3)} << QList<QByteArray>{baJson};
        QTest::newRow("brace inside a string") << QList<QByteArray>{"AIMSG,{\"t\":\"}\\\"{\"", ",\"u\":1}"}
                                               << QList<QByteArray>{"{\"t\":\"}\\\"{\",\"u\":1}"};
        QTest::newRow("never closed, then a new one")
            << QList<QByteArray>{"AIMSG,{\"a\":", baAlarm} << QList<QByteArray>{baJson};
        const QByteArray baBig = "AIMSG,{\"p\":\"" + QByteArray(CPushMsgAssembler::kMaxMessageBytes, 'x');
        QTest::newRow("oversized, its rest, then the next")
            << QList<QByteArray>{baBig.left(600000), baBig.mid(600000), "xx\"}", baAlarm}
            << QList<QByteArray>{baJson};
        QTest::newRow("not an alarm")
            << QList<QByteArray>{"HEARTBEAT,AIMSG,x", "AIMSG"} << QList<QByteArray>{};
    }
    void alarmsOverReads()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QList<QByteArray>, payloads);
        CPushMsgAssembler assembler;
        QList<QByteArray> out;
        for (const QByteArray& baRead : reads) {
            QByteArray baMessage, baPayload;
            if (assembler.Feed(baRead, baMessage) && CTcpConnect::TakeAlarmPayload(baMessage, baPayload)) {
                out << baPayload;
            }
        }
        QCOMPARE(out, payloads);
    }

    // A server whose accept queue is full leaves the connect pending: Stop still ends in time.
    void stopWhileConnecting()
    {
        logkit::clearCapture();
        const int nFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLen = sizeof(addr);
        QVERIFY(::bind(nFd, reinterpret_cast<sockaddr*>(&addr), nLen) == 0 && ::listen(nFd, 0) == 0);
        ::getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
        QTcpSocket filler;
        filler.connectToHost(QHostAddress::LocalHost, ntohs(addr.sin_port));
        QVERIFY(filler.waitForConnected(10000));
        CPushChannel channel;
        channel.OnPushUrlReply(ServerReply(ntohs(addr.sin_port)));
        QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("Connecting to push server"), 10000);
        QVERIFY(channel.Stop());
        QVERIFY(!logkit::captured("Connect Tcp Server Success!"));
        ::close(nFd);
    }
};

QTEST_GUILESS_MAIN(TestPushChannel)
#include "tst_pushchannel.moc"
