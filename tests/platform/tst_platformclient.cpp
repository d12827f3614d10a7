// The window against the real platform simulator over HTTPS and a real host
// process: what goes on the wire, and what 401s and refreshes do.
#include "HostProcess.h"
#include "SimulatorProcess.h"

#include "base/AlarmTypes.h"
#include "base/LaunchValues.h"
#include "logkit/LogKit.h"
#include "platform/CHttpClient.h"
#include "platform/PermissionTable.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString HeaderValue(const QJsonValue& request, const QString& strName)
{
    for (const QJsonValue& pair : request.toObject().value("headers").toArray()) {
        if (pair.toArray().at(0).toString().compare(strName, Qt::CaseInsensitive) == 0) {
            return pair.toArray().at(1).toString();
        }
    }
    return QString();
}

} // namespace

class TestPlatformClient : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim;
    HostProcess m_host;
    QTemporaryDir m_dir;

    QString writeCfg(const QString& strName, const QString& strExtra)
    {
        QFile file(m_dir.filePath(strName));
        file.open(QIODevice::WriteOnly);
        file.write(QString("<Configure>%1</Configure>").arg(strExtra).toUtf8());
        return file.fileName();
    }

    QString launchString(const SimulatorProcess& sim, const QString& strCfg, const QString& strRefresh = {})
    {
        return QString("ParentWnd:%1;Token:%2;RefreshToken:%3;ServerUrl:%4;CfgPath:%5")
            .arg(m_host.handle())
            .arg(sim.token(), strRefresh.isEmpty() ? sim.refreshToken() : strRefresh, sim.baseUrl(), strCfg);
    }

    int requestCount(const QString& strPath) { return m_sim.lastRequests(strPath, 50).size(); }

    // A window whose start-up requests have been answered.
    std::unique_ptr<MessageClient> startedClient(const QString& strRefresh = {})
    {
        LaunchValues::reset();
        PermissionTable().clear();
        auto client = std::make_unique<MessageClient>(
            launchString(m_sim, writeCfg("trusted.cfg", QString("<ca_file>%1</ca_file>").arg(m_sim.caFile())),
                         strRefresh));
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(!PermissionTable().empty() && requestCount("/api/msg/list") > 0, 10000);
        }();
        return client;
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        logkit::startCapture();
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
    }

    void init()
    {
        m_sim.admin("POST", "/admin/requests/clear");
        m_sim.clearFaults();
        logkit::clearCapture();
    }

    void requestsCarryTheTokenAndTheExactBody()
    {
        auto client = startedClient();
        const QJsonValue unread = m_sim.lastRequests("/api/msg/list").at(0);
        QCOMPARE(unread["body"].toString(),
                 QString("{\"clientType\":4,\"isRead\":0,\"pageNo\":1,\"pageSize\":30}"));
        QCOMPARE(HeaderValue(unread, "Authorization"), "Bearer " + m_sim.token());

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
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/msg/list"), 1, 10000);
        QCOMPARE(m_sim.lastRequests("/api/msg/list").at(0)["body"].toString(),
                 QString("{\"alarmType\":\"a}b\",\"channelNo\":3,\"clientType\":4,\"deviceSerial\":\"PV1\","
                         "\"endTime\":\"2026-01-02 23:59:59\",\"isEncrypt\":1,\"pageNo\":2,\"pageSize\":30,"
                         "\"startTime\":\"2026-01-01 00:00:00\"}"));
    }

    // A refused refresh token (20027) and a refresh address that keeps
    // answering 401 both end in the host hearing that the login is lost.
    void lostLoginTellsTheHost_data()
    {
        QTest::addColumn<QString>("refreshToken");
        QTest::addColumn<int>("refreshStatus");
        QTest::newRow("unknown refresh token") << "unknown-refresh-token" << 0;
        QTest::newRow("refresh answered 401") << "" << 401;
    }
    void lostLoginTellsTheHost()
    {
        QFETCH(QString, refreshToken);
        QFETCH(int, refreshStatus);
        auto client = startedClient(refreshToken);
        client->SetRefreshGuardPeriod(100);
        QSignalSpy updated(client.get(), &MessageClient::sig_UpdateToken);
        const int nFrom = m_host.lines().size();
        QVERIFY(m_sim.setFault("/api/user/member/app/menu/info", 401));
        if (refreshStatus != 0) {
            QVERIFY(m_sim.setFault("/api/user/app/refresh/token", refreshStatus));
        }
        // Every 401 asks for a refresh; the guard lets one out per period.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                client->HttpGetPermisssion();
                return m_host.lines().mid(nFrom).filter("MSG 2045").size() == 1;
            }(),
            20000);
        QVERIFY(m_host.lines()
                    .mid(nFrom)
                    .filter("MSG 2045")
                    .at(0)
                    .startsWith(QString("MSG 2045 w=1 l=%1 posted").arg(client->winId())));
        QCOMPARE(updated.size(), 0);
    }

    void certificateIsVerified()
    {
        // A simulator of its own: no TLS session of an earlier test may stand in.
        SimulatorProcess sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto client = std::make_unique<MessageClient>(launchString(sim, writeCfg("plain.cfg", "")));
        QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("certificate refused", 5), 10000);
        // The usage log keeps the same rule.
        CHttpClient* pClient = CHttpClient::instance();
        pClient->m_strDcLogUrl = sim.baseUrl() + "/api/user/member/app/menu/info?type=";
        pClient->m_strCmDclogUrl = "k=v";
        pClient->HttpUpLoadDcLog("module=Message", "saas_pcclient_dmpinfo");
        QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("Http Service Error", 5), 10000);
        pClient->m_strDcLogUrl.clear();
        QCOMPARE(sim.lastRequests("/api/user/member/app/menu/info").size(), 0);
    }

    // Last: the simulator's pair is a new one afterwards.
    void expiredTokenIsRefreshedOncePerGuardPeriod()
    {
        auto client = startedClient();
        const std::string strOld = LaunchValues::snapshot().Token;
        QSignalSpy updated(client.get(), &MessageClient::sig_UpdateToken);
        QVERIFY(m_sim.expireToken(QString::fromStdString(strOld)));
        // A 401 that is not JSON starts a refresh as well.
        m_sim.admin(
            "POST", "/admin/faults",
            {{"path", "/api/user/member/app/menu/info"}, {"status", 401}, {"body", "<html>"}, {"count", 1}});
        client->HttpGetPermisssion();
        client->HttpGetPermisssion();
        QVERIFY(updated.wait(10000));

        // The host is told the new pair, and the next request carries it.
        const LaunchValues values = LaunchValues::snapshot();
        QCOMPARE(updated.at(0).at(0).toString(), QString::fromStdString(values.Token));
        QCOMPARE(updated.at(0).at(1).toString(), QString::fromStdString(values.RefreshToken));
        const int nAsked = requestCount("/api/user/member/app/menu/info");
        client->HttpGetPermisssion();
        QTRY_COMPARE_WITH_TIMEOUT(requestCount("/api/user/member/app/menu/info"), nAsked + 1, 10000);
        QCOMPARE(HeaderValue(m_sim.lastRequests("/api/user/member/app/menu/info").last(), "Authorization"),
                 "Bearer " + QString::fromStdString(values.Token));
        QCOMPARE(requestCount("/api/user/app/refresh/token"), 1);
        for (const auto& line : logkit::capturedLines()) {
            QVERIFY2(line.text.find(values.Token) == std::string::npos, line.text.c_str());
        }
    }
};

QTEST_MAIN(TestPlatformClient)
#include "tst_platformclient.moc"
