// Hostile platform replies through the real window, served by the real
// simulator: numbers beyond 32 bits, INT_MIN and -1 in the page arithmetic,
// wrong types, nesting past any sane depth, times of 1e300, refreshes without
// tokens. The process lives and every state the operator or host sees is sane.
#include "ModuleLaunch.h"

#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CListCtrl.h"
#include "logkit/LogKit.h"
#include "platform/PermissionTable.h"
#include "platform/PopupListWgt.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QDateTime>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QByteArray Deep(const QByteArray& baPrefix)
{
    return baPrefix + QByteArray(1001, '[');
}

// One good record among hostile ones: the page must keep it.
QByteArray PageWith(const QByteArray& baHostileRecord)
{
    const QByteArray baNow = QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    return "{\"code\":\"200\",\"data\":[" + baHostileRecord +
           ",{\"id\":5,\"deviceSerial\":\"PV1000001\",\"channelNo\":1,\"isRead\":0,\"alarmType\":"
           "\"移动侦测告警\","
           "\"alarmTime\":" +
           baNow + "}],\"page\":{\"pageNo\":1,\"size\":30,\"total\":2}}";
}

} // namespace

class TestHostileReplies : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{QStringList{"--seed", "none"}};
    HostProcess m_host;
    QTemporaryDir m_dir;
    std::unique_ptr<MessageClient> m_client;
    int m_nHostFrom = 0; // host lines before the case

    template <typename T>
    T* child(const char* szName) const
    {
        return m_client->findChild<T*>(szName);
    }
    CListCtrl* list(const char* szPage) const { return child<QWidget>(szPage)->findChild<CListCtrl*>(); }

    // What the test does to make the window ask, and what must hold after.
    struct Case
    {
        const char* szPath;
        QByteArray body;
        std::function<void(TestHostileReplies&)> fnAsk;
        std::function<void(TestHostileReplies&)> fnCheck;
    };
    static std::vector<std::pair<const char*, Case>> Cases();

    void askAllList()
    {
        m_client->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_VERIFY_WITH_TIMEOUT(child<QStackedWidget>("allResultTab")->currentIndex() != 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!list("allResListTab")->IsBusy(), 10000);
    }
    void askUnreadList()
    {
        HTTPMSG_BODY body;
        body.isRead = 0;
        m_client->OnGetMsgList(1, body);
    }
    void waitForLog(const char* szText) { QTRY_VERIFY_WITH_TIMEOUT(logkit::captured(szText, 5), 10000); }
    void checkAllListHolds(int nRows)
    {
        QCOMPARE(int(list("allResListTab")->ShownRows().size()), nRows);
        const QStringList pages = child<QLabel>("pageLab")->text().split('/');
        QVERIFY(pages.at(0).toInt() >= 1 && pages.at(1).toInt() >= pages.at(0).toInt());
    }
    bool invoke(const char* szSlot) { return QMetaObject::invokeMethod(m_client.get(), szSlot); }
    // The device field as the operator edits it.
    bool typeDevice(const QString& strText)
    {
        child<QLineEdit>("alarmDevInput")->setText(strText);
        return QMetaObject::invokeMethod(m_client.get(), "OnDevInputTextChanged", Q_ARG(QString, strText));
    }

private slots:
    void initTestCase()
    {
        SetModuleProcessEnd([] {});
        logkit::startCapture();
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        QVERIFY(m_host.start(false));
        m_sim.addAlarm({{"count", 3}, {"push", false}});
        LaunchValues::reset();
        PermissionTable().clear();
        const QString strPushInfo =
            QString("<push_info_url>%1/api/message/push/server/info</push_info_url>").arg(m_sim.baseUrl());
        m_client = std::make_unique<MessageClient>(
            ModuleLaunchString(m_host, m_sim, WriteModuleConfig(m_dir.path(), m_sim, strPushInfo)));
        m_client->show();
        QTRY_COMPARE_WITH_TIMEOUT(int(list("notReadListTab")->ShownRows().size()), 3, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!PermissionTable().empty(), 10000);
        child<QTabWidget>("resTab")->setCurrentIndex(0);
        QTRY_COMPARE_WITH_TIMEOUT(int(list("allResListTab")->ShownRows().size()), 3, 15000);
    }

    void cleanupTestCase() { m_client.reset(); }

    void init()
    {
        m_sim.clearFaults();
        m_sim.admin("POST", "/admin/requests/clear");
        logkit::clearCapture();
    }

    void hostileReply_data()
    {
        QTest::addColumn<int>("index");
        const auto cases = Cases();
        for (size_t i = 0; i < cases.size(); ++i) {
            QTest::newRow(cases[i].first) << int(i);
        }
    }
    void hostileReply()
    {
        QFETCH(int, index);
        const Case c = Cases().at(static_cast<size_t>(index)).second;
        QVERIFY(m_sim
                    .admin("POST", "/admin/faults",
                           QJsonObject{{"path", c.szPath},
                                       {"status", 200},
                                       {"body", QString::fromUtf8(c.body)},
                                       {"count", 1}})
                    .value("ok")
                    .toBool());
        m_nHostFrom = m_host.lines().size();
        c.fnAsk(*this);
        c.fnCheck(*this);
    }
};

std::vector<std::pair<const char*, TestHostileReplies::Case>> TestHostileReplies::Cases()
{
    using T = TestHostileReplies;
    const auto askAll = [](T& t) { t.askAllList(); };
    const auto refusedList = [](T& t) {
        t.waitForLog("GetAllMsg reply refused");
        QCOMPARE(t.child<QStackedWidget>("allResultTab")->currentIndex(), 0);
        t.checkAllListHolds(0);
    };
    const auto oneLeftOut = [](T& t) {
        t.waitForLog("records left out: 0");
        t.checkAllListHolds(1);
        QCOMPARE(t.list("allResListTab")->ShownRows().at(0)->GetMsgId(), 5);
    };
    // A 401 on the permission path starts the refresh whose reply is hostile.
    const auto askRefresh = [](T& t) {
        t.m_client->stopTime(QStringLiteral("RefreshToken"), false, QString()); // the guard of the last case
        t.m_sim.setFault("/api/user/member/app/menu/info", 401, 0, false, 1);
        t.m_client->HttpGetPermisssion();
    };
    const auto refreshFailed = [](T& t) {
        QSignalSpy updated(t.m_client.get(), &MessageClient::sig_UpdateToken);
        t.waitForLog("refreshtoken Failed");
        QCOMPARE(updated.size(), 0);
        // The login the host handed over stays, and goes back to it on close.
        QCOMPARE(QString::fromStdString(LaunchValues::snapshot().Token), t.m_sim.token());
        QCOMPARE(QString::fromStdString(LaunchValues::snapshot().RefreshToken), t.m_sim.refreshToken());
    };
    const auto askPermission = [](T& t) { t.m_client->HttpGetPermisssion(); };
    const auto permissionKept = [](T& t) {
        t.waitForLog("get Permission info faild");
        QVERIFY(PermissionTable().count(kMsgListMenuId) == 1);
    };
    // The first key in the device field asks for the organisation.
    const auto askOrg = [](T& t) { QVERIFY(t.typeDevice("东门")); };
    const auto orgRefused = [](T& t) {
        t.waitForLog("organisation reply refused");
        QVERIFY(t.m_sim.lastRequests("/api/resource/v2/camera/list/page").isEmpty());
    };
    const auto askCams = [](T& t) {
        QVERIFY(t.typeDevice("门")); // organisation first, when not yet known
        QTRY_VERIFY_WITH_TIMEOUT(logkit::captured("camera reply"), 10000);
    };
    const auto camsSane = [](T& t) {
        auto* pPopup = t.child<PopupListWgt>("popLstWgt");
        QCOMPARE(pPopup->ItemCount(), 1);
        QCOMPARE(pPopup->CurrentText(), QString("东门入口"));
    };
    const auto askPush = [](T& t) { QVERIFY(t.invoke("StartTcpConnect")); };
    const auto pushRefused = [](T& t) {
        t.waitForLog("Parse TCP ip port error!");
        QVERIFY(!logkit::captured("Connecting to push server"));
    };
    // Selecting a row asks for its camera's trust.
    const auto askCamInfo = [](T& t) {
        t.askAllList();
        CListCtrl* pAll = t.list("allResListTab");
        QTRY_VERIFY_WITH_TIMEOUT(!pAll->ShownRows().empty() && !pAll->IsBusy(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(pAll->ShownRows().at(0)->IsPicReqFinished(), 10000);
        emit pAll->pressed(pAll->model()->index(0, 0));
    };
    const auto camInfoRefused = [](T& t) {
        t.waitForLog("ParseCamInfo Err");
        QCOMPARE(t.list("allResListTab")->CurrentRow()->GetAlarmInfo().nTrust, -1);
    };

    return {
        {"list: 64-bit id", {"/api/msg/list", PageWith("{\"id\":3000000000}"), askAll, oneLeftOut}},
        {"list: channel 2^63",
         {"/api/msg/list", PageWith("{\"id\":4,\"channelNo\":9223372036854775808}"), askAll, oneLeftOut}},
        {"list: INT_MIN id", {"/api/msg/list", PageWith("{\"id\":-2147483649}"), askAll, oneLeftOut}},
        {"list: time 1e300",
         {"/api/msg/list", PageWith("{\"id\":4,\"alarmTime\":1e300}"), askAll, oneLeftOut}},
        {"list: type as object",
         {"/api/msg/list", PageWith("{\"id\":4,\"alarmType\":{}}"), askAll, oneLeftOut}},
        {"list: data of the wrong type",
         {"/api/msg/list", "{\"code\":\"200\",\"data\":{\"id\":1}}", askAll, refusedList}},
        {"list: not JSON", {"/api/msg/list", "<html>502</html>", askAll, refusedList}},
        {"list: 1001 levels", {"/api/msg/list", Deep("{\"data\":"), askAll, refusedList}},
        {"list: total beyond 32 bits",
         {"/api/msg/list", "{\"data\":[],\"page\":{\"pageNo\":1,\"size\":30,\"total\":3000000000}}", askAll,
          refusedList}},
        {"unread: INT_MIN total by -1",
         {"/api/msg/list", "{\"data\":[],\"page\":{\"pageNo\":1,\"size\":-1,\"total\":-2147483648}}",
          [](T& t) { t.askUnreadList(); },
          [](T& t) {
              const int nLine = t.m_host.waitForLine("MSG 2054", 10000, t.m_nHostFrom);
              QVERIFY(nLine >= 0);
              QVERIFY2(t.m_host.lines().at(nLine).startsWith("MSG 2054 w=3 l=0 posted"),
                       qPrintable(t.m_host.lines().at(nLine)));
              QCOMPARE(t.child<QTabWidget>("resTab")->tabText(1), QString("未读(0)"));
          }}},
        {"refresh: empty tokens",
         {"/api/user/app/refresh/token", "{\"code\":\"200\",\"data\":{\"token\":\"\",\"refreshToken\":\"\"}}",
          askRefresh, refreshFailed}},
        {"refresh: no data",
         {"/api/user/app/refresh/token", "{\"code\":\"200\"}", askRefresh, refreshFailed}},
        {"refresh: 1001 levels",
         {"/api/user/app/refresh/token", Deep("{\"code\":\"200\",\"data\":"), askRefresh, refreshFailed}},
        {"permission: 64-bit id",
         {"/api/user/member/app/menu/info", "{\"code\":\"200\",\"data\":[{\"id\":3000000000}]}",
          askPermission, permissionKept}},
        {"permission: 1001 levels",
         {"/api/user/member/app/menu/info", Deep("{\"code\":\"200\",\"data\":"), askPermission,
          permissionKept}},
        {"organisation: 64-bit id",
         {"/api/org/tree", "{\"code\":\"200\",\"data\":[{\"id\":3000000000}]}", askOrg, orgRefused}},
        {"cameras: channel beyond 32 bits",
         {"/api/resource/v2/camera/list/page",
          "{\"code\":\"200\",\"data\":[{\"channelName\":\"东门入口\",\"deviceSerial\":\"PV1000001\","
          "\"channelNo\":1},"
          "{\"channelName\":\"西门出口\",\"deviceSerial\":\"PV1000002\",\"channelNo\":3000000000}]}",
          askCams, camsSane}},
        {"push server: port 2^63",
         {"/api/message/push/server/info", "{\"ip\":\"127.0.0.1\",\"port\":9223372036854775808}", askPush,
          pushRefused}},
        {"camera info: channel beyond 32 bits",
         {"/api/resource/v2/camera/info",
          "{\"code\":\"200\",\"data\":{\"deviceSerial\":\"PV1000001\",\"channelNo\":3000000000,\"isTrust\":1}"
          "}",
          askCamInfo, camInfoRefused}},
    };
}

QTEST_MAIN(TestHostileReplies)
#include "tst_hostilereplies.moc"
