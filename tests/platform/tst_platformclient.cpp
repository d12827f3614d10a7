// The window against the real platform simulator over HTTPS and a real host
// process: what goes on the wire, and what 401s, refreshes and time-outs do.
#include "HostProcess.h"
#include "SimulatorProcess.h"

#include "alarms/AlarmTypes.h"
#include "logkit/LogKit.h"
#include "platform/CHttpClient.h"
#include "platform/PermissionTable.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString headerValue(const QJsonObject& request, const QString& strName)
{
    for (const QJsonValue& pair : request.value("headers").toArray()) {
        if (pair.toArray().at(0).toString().compare(strName, Qt::CaseInsensitive) == 0) {
            return pair.toArray().at(1).toString();
        }
    }
    return QString();
}

int headerIndex(const QJsonObject& request, const QString& strName)
{
    const QJsonArray headers = request.value("headers").toArray();
    for (int i = 0; i < headers.size(); ++i) {
        if (headers.at(i).toArray().at(0).toString().compare(strName, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

class TestPlatformClient : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim;
    HostProcess m_host;
    QTemporaryDir m_dir;
    // The pair now valid on the simulator; a refresh replaces it.
    QString m_strToken;
    QString m_strRefresh;

    QString writeCfg(const QString& strName, const QString& strExtra)
    {
        const QString strPath = m_dir.filePath(strName);
        QFile file(strPath);
        file.open(QIODevice::WriteOnly);
        file.write(QString("<Configure>%1</Configure>").arg(strExtra).toUtf8());
        return strPath;
    }

    QString launchString(const QString& strCfg, const QString& strRefresh = QString())
    {
        return QString("ParentWnd:%1;Token:%2;RefreshToken:%3;ServerUrl:%4;CfgPath:%5")
            .arg(m_host.handle())
            .arg(m_strToken, strRefresh.isEmpty() ? m_strRefresh : strRefresh, m_sim.baseUrl(), strCfg);
    }

    QString trustedCfg()
    {
        return writeCfg("trusted.cfg", QString("<ca_file>%1</ca_file>").arg(m_sim.caFile()));
    }

    QJsonArray waitForRequests(const QString& strPath, int nCount, int nTimeoutMs = 10000)
    {
        QJsonArray requests;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < nTimeoutMs) {
            requests = m_sim.lastRequests(strPath, 50);
            if (requests.size() >= nCount) {
                break;
            }
            QTest::qWait(50);
        }
        return requests;
    }

    // A window whose start-up requests have been answered.
    std::unique_ptr<MessageClient> startedClient(const QString& strLaunch)
    {
        LaunchValues::reset();
        PermissionTable().clear();
        auto client = std::make_unique<MessageClient>(strLaunch);
        waitForRequests("/api/msg/list", 1);
        QElapsedTimer timer;
        timer.start();
        while (PermissionTable().empty() && timer.elapsed() < 10000) {
            QTest::qWait(20);
        }
        return client;
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        logkit::startCapture();
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
        m_strToken = m_sim.token();
        m_strRefresh = m_sim.refreshToken();
    }

    void init()
    {
        m_sim.admin("POST", "/admin/requests/clear");
        m_sim.clearFaults();
        logkit::clearCapture();
    }

    void requestsCarryTheHeadersAndTheExactBody()
    {
        auto client = startedClient(launchString(trustedCfg()));
        QVERIFY(!PermissionTable().empty());
        const QJsonArray lists = waitForRequests("/api/msg/list", 1);
        QCOMPARE(lists.size(), 1);
        const QJsonObject unread = lists.at(0).toObject();
        QCOMPARE(unread.value("method").toString(), QString("POST"));
        QCOMPARE(unread.value("body").toString(),
                 QString("{\"clientType\":4,\"isRead\":0,\"pageNo\":1,\"pageSize\":30}"));
        QCOMPARE(headerValue(unread, "userType"), QString("enterprise"));
        QCOMPARE(headerValue(unread, "Content-Type"), QString("application/json"));
        QCOMPARE(headerValue(unread, "Authorization"), "Bearer " + m_sim.token());
        QVERIFY(headerIndex(unread, "userType") < headerIndex(unread, "Content-Type"));
        QVERIFY(headerIndex(unread, "Content-Type") < headerIndex(unread, "Authorization"));

        const QJsonArray permissions = waitForRequests("/api/user/member/app/menu/info", 1);
        QVERIFY(!permissions.isEmpty());
        QCOMPARE(permissions.at(0).toObject().value("body").toString(), QString("{\"clientType\":4}"));

        // Every optional criterion, and a text with a brace inside.
        m_sim.admin("POST", "/admin/requests/clear");
        HTTPMSG_BODY body;
        body.pageNo = 2;
        body.isEncrypt = 1;
        body.deviceSerial = "PV1";
        body.channelNo = 3;
        body.alarmType = "a}b";
        body.startTime = "2026-01-01 00:00:00";
        body.endTime = "2026-01-02 23:59:59";
        client->OnGetMsgList(2, body);
        const QJsonArray search = waitForRequests("/api/msg/list", 1);
        QCOMPARE(search.at(0).toObject().value("body").toString(),
                 QString("{\"alarmType\":\"a}b\",\"channelNo\":3,\"clientType\":4,\"deviceSerial\":\"PV1\","
                         "\"endTime\":\"2026-01-02 23:59:59\",\"isEncrypt\":1,\"pageNo\":2,\"pageSize\":30,"
                         "\"startTime\":\"2026-01-01 00:00:00\"}"));
    }

    void oneListRequestOfAKindInFlight()
    {
        auto client = startedClient(launchString(trustedCfg()));
        QVERIFY(!PermissionTable().empty());
        m_sim.admin("POST", "/admin/requests/clear");
        m_sim.setFault("/api/msg/list", 0, 1500);
        client->OnGetMsgList(0, HTTPMSG_BODY());
        client->OnGetMsgList(0, HTTPMSG_BODY());
        client->OnGetMsgList(2, HTTPMSG_BODY());
        const QJsonArray lists = waitForRequests("/api/msg/list", 2);
        QTest::qWait(500);
        QCOMPARE(m_sim.lastRequests("/api/msg/list", 50).size(), 2);
    }

    void lateListReplyNeverReachesItsList()
    {
        auto client = startedClient(launchString(trustedCfg()));
        QVERIFY(!PermissionTable().empty());
        auto* pStack = client->findChild<QStackedWidget*>("allResultTab");
        QVERIFY(pStack);
        client->SetRequestTimeout(300);
        m_sim.setFault("/api/msg/list", 0, 1500, false, 1);
        m_sim.admin("POST", "/admin/requests/clear");
        client->OnGetMsgList(0, HTTPMSG_BODY());
        QCOMPARE(pStack->currentIndex(), 2); // loading
        QTRY_COMPARE_WITH_TIMEOUT(pStack->currentIndex(), 3, 5000);
        waitForRequests("/api/msg/list", 1);
        QTest::qWait(2000); // the reply arrives meanwhile
        QCOMPARE(pStack->currentIndex(), 3);

        // The next request is answered and shown normally.
        client->SetRequestTimeout(10000);
        client->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_COMPARE_WITH_TIMEOUT(pStack->currentIndex(), 1, 10000);
    }

    void expiredTokenIsRefreshedOncePerGuardPeriod()
    {
        auto client = startedClient(launchString(trustedCfg()));
        QVERIFY(!PermissionTable().empty());
        QSignalSpy updated(client.get(), &MessageClient::sig_UpdateToken);
        QVERIFY(m_sim.expireToken(LaunchValues::snapshot().Token.c_str()));
        // A 401 that is not JSON starts a refresh as well.
        m_sim.admin("POST", "/admin/faults",
                    QJsonObject{{"path", "/api/user/member/app/menu/info"},
                                {"status", 401},
                                {"body", "<html>"},
                                {"count", 1}});
        client->HttpGetPermisssion();
        client->HttpGetPermisssion();
        QVERIFY(updated.wait(10000));
        QTest::qWait(500);
        QCOMPARE(m_sim.lastRequests("/api/user/app/refresh/token").size(), 1);
        const QJsonObject refresh = m_sim.lastRequests("/api/user/app/refresh/token").at(0).toObject();
        QCOMPARE(headerValue(refresh, "Authorization"), QString());
        QVERIFY(refresh.value("body").toString().startsWith("{\"clientType\":4,\"refreshToken\":\""));

        // The host is told the new pair, and the next request carries it.
        const LaunchValues values = LaunchValues::snapshot();
        QCOMPARE(updated.at(0).at(0).toString(), QString::fromStdString(values.Token));
        QCOMPARE(updated.at(0).at(1).toString(), QString::fromStdString(values.RefreshToken));
        QVERIFY(QString::fromStdString(values.Token) != m_strToken);
        m_strToken = QString::fromStdString(values.Token);
        m_strRefresh = QString::fromStdString(values.RefreshToken);
        m_sim.admin("POST", "/admin/requests/clear");
        client->HttpGetPermisssion();
        const QJsonArray after = waitForRequests("/api/user/member/app/menu/info", 1);
        QCOMPARE(headerValue(after.at(0).toObject(), "Authorization"),
                 "Bearer " + updated.at(0).at(0).toString());

        // Tokens never reach the log in clear.
        for (const auto& line : logkit::capturedLines()) {
            QVERIFY2(line.text.find(values.Token) == std::string::npos, line.text.c_str());
        }
    }

    void rejectedRefreshTokenTellsTheHost()
    {
        auto client = startedClient(launchString(trustedCfg(), "unknown-refresh-token"));
        QVERIFY(!PermissionTable().empty());
        QSignalSpy updated(client.get(), &MessageClient::sig_UpdateToken);
        const int nFrom = m_host.lines().size();
        m_sim.setFault("/api/user/member/app/menu/info", 401, 0, false, 1);
        client->HttpGetPermisssion();
        const int nLine = m_host.waitForLine("MSG 2045", 10000, nFrom);
        QVERIFY(nLine >= 0);
        QVERIFY2(
            m_host.lines().at(nLine).startsWith(QString("MSG 2045 w=1 l=%1 posted").arg(client->winId())),
            qPrintable(m_host.lines().at(nLine)));
        QCOMPARE(updated.size(), 0);
        QVERIFY(logkit::captured("refreshtoken Failed", 5));
    }

    // The refresh address itself answers 401: after a few refused refreshes
    // the host hears that the login is lost, as for "20027".
    void refreshRefusedWith401TellsTheHost()
    {
        auto client = startedClient(launchString(trustedCfg()));
        QVERIFY(!PermissionTable().empty());
        client->SetRefreshGuardPeriod(100);
        QSignalSpy updated(client.get(), &MessageClient::sig_UpdateToken);
        const int nFrom = m_host.lines().size();
        QVERIFY(m_sim.setFault("/api/user/member/app/menu/info", 401));
        QVERIFY(m_sim.setFault("/api/user/app/refresh/token", 401));
        // Every 401 asks for a refresh; the guard lets one out per period.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                client->HttpGetPermisssion();
                return m_host.lines().mid(nFrom).filter("MSG 2045").size() == 1;
            }(),
            20000);
        const QString strLine = m_host.lines().mid(nFrom).filter("MSG 2045").at(0);
        QVERIFY2(strLine.startsWith(QString("MSG 2045 w=1 l=%1 posted").arg(client->winId())),
                 qPrintable(strLine));
        QVERIFY(logkit::captured("refresh refused with 401 3 times", 5));
        QCOMPARE(m_sim.lastRequests("/api/user/app/refresh/token", 50).size() >= 3, true);
        QCOMPARE(updated.size(), 0);
        m_sim.clearFaults();
    }

    void certificateIsVerified()
    {
        // Simulators of their own: a connection or TLS session of an earlier
        // test must not stand in for the handshake checked here.
        {
            // Without the simulator's CA the handshake fails: nothing reaches it.
            SimulatorProcess sim;
            QVERIFY2(sim.start(), qPrintable(sim.errorString()));
            QString strLaunch = launchString(writeCfg("plain.cfg", ""));
            strLaunch.replace(m_sim.baseUrl(), sim.baseUrl()).replace(m_strToken, sim.token());
            auto client = std::make_unique<MessageClient>(strLaunch);
            QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("http service error", 5), 10000);
            QVERIFY(logkit::captured("certificate refused", 5));
            QCOMPARE(sim.lastRequests("/api/user/member/app/menu/info").size(), 0);
            // The usage log keeps the same rule.
            CHttpClient* pClient = CHttpClient::instance();
            pClient->m_strDcLogUrl = sim.baseUrl() + "/api/user/member/app/menu/info?type=";
            pClient->m_strCmDclogUrl = "k=v";
            pClient->HttpUpLoadDcLog("module=Message", "saas_pcclient_dmpinfo");
            QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("Http Service Error", 5), 10000);
            pClient->m_strDcLogUrl.clear();
            QCOMPARE(sim.lastRequests("/api/user/member/app/menu/info").size(), 0);
        }
        {
            // The operator may turn verification off, as the original did.
            SimulatorProcess sim;
            QVERIFY2(sim.start(), qPrintable(sim.errorString()));
            PermissionTable().clear();
            QString strLaunch = launchString(writeCfg("off.cfg", "<tls_verify>0</tls_verify>"));
            strLaunch.replace(m_sim.baseUrl(), sim.baseUrl()).replace(m_strToken, sim.token());
            auto client = std::make_unique<MessageClient>(strLaunch);
            QTRY_VERIFY_WITH_TIMEOUT(!PermissionTable().empty(), 10000);
        }
    }

    // Last: the login stays taken over.
    void loginTakenOverIsReportedWithoutRefresh()
    {
        const QString strToken = m_strToken;
        auto client = startedClient(launchString(trustedCfg()));
        QVERIFY(!PermissionTable().empty());
        QSignalSpy remote(client.get(), &MessageClient::sigRemoetLogin);
        QVERIFY(m_sim.takeOverLogin(strToken, "已在别处登录"));
        client->HttpGetPermisssion();
        QVERIFY(remote.wait(10000));
        QCOMPARE(remote.at(0).at(0).toString(), QString("已在别处登录"));
        QTest::qWait(300);
        QCOMPARE(m_sim.lastRequests("/api/user/app/refresh/token").size(), 0);
    }
};

QTEST_MAIN(TestPlatformClient)
#include "tst_platformclient.moc"
