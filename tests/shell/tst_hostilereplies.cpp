// Hostile platform replies through the real window, served by the real simulator: numbers
// beyond 32 bits, INT_MIN and -1 in the page arithmetic, wrong types, deep nesting, times of
// 1e300, a refresh without tokens. The reply is logged as refused; the operator and host see sense.
#include "ModuleFixture.h"

#include "alarms/CAlarmMsgWnd.h"
#include "logkit/LogKit.h"
#include "platform/PermissionTable.h"
#include "platform/PopupListWgt.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QtTest>

namespace {

// Who asks for the reply.
constexpr int AllList = 0, UnreadList = 1, Refresh = 2, Permission = 3, Organisation = 4, Cameras = 5,
              PushServer = 6, CameraInfo = 7;

// One good record after a hostile one: the page keeps it.
const QString kPageWith = QString("{\"code\":\"200\",\"data\":[%1,{\"id\":5,\"isRead\":0,\"alarmTime\":%2}],"
                                  "\"page\":{\"pageNo\":1,\"size\":30,\"total\":2}}")
                              .arg("%1", QString::number(QDateTime::currentMSecsSinceEpoch()));

} // namespace

class TestHostileReplies : public QObject
{
    Q_OBJECT
private:
    ModuleFixture m_fx;
    SimulatorProcess& m_sim = m_fx.sim;
    MessageClient* m_client = nullptr;

    CListCtrl* allList() const { return m_fx.allList(); }

    void askAllList()
    {
        m_client->OnGetMsgList(0, HTTPMSG_BODY());
        QTRY_VERIFY_WITH_TIMEOUT(m_fx.child<QStackedWidget>("allResultTab")->currentIndex() != 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!allList()->IsBusy(), 10000);
    }

private slots:
    void initTestCase()
    {
        logkit::startCapture();
        PermissionTable().clear();
        QVERIFY2(m_fx.start({{{"count", 3}, {"push", false}}}) && m_fx.open(3), qPrintable(m_fx.error()));
        m_client = m_fx.client();
        QTRY_VERIFY_WITH_TIMEOUT(!PermissionTable().empty(), 10000);
        m_fx.child<QTabWidget>("resTab")->setCurrentIndex(0);
        QTRY_COMPARE_WITH_TIMEOUT(int(allList()->ShownRows().size()), 3, 15000);
    }

    void hostileReply_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("asker");
        QTest::addColumn<QString>("logged");
        const auto row = [](const char* szName, const char* szPath, const QString& strBody, int nAsker,
                            const char* szLogged) {
            QTest::newRow(szName) << QString(szPath) << strBody << nAsker << QString(szLogged);
        };
        const char *const szList = "/api/msg/list", *const szLeftOut = "records left out: 0";
        const QString str64 = "{\"code\":\"200\",\"data\":[{\"id\":3000000000}]}";
        row("list: 64-bit id", szList, kPageWith.arg("{\"id\":3000000000}"), AllList, szLeftOut);
        row("list: time 1e300", szList, kPageWith.arg("{\"id\":4,\"alarmTime\":1e300}"), AllList, szLeftOut);
        row("list: data of the wrong type", szList, "{\"code\":\"200\",\"data\":{\"id\":1}}", AllList,
            "GetAllMsg reply refused");
        row("list: 1001 levels", szList, "{\"data\":" + QString(1001, '['), AllList,
            "GetAllMsg reply refused");
        row("unread: INT_MIN total by -1", szList,
            "{\"data\":[],\"page\":{\"pageNo\":1,\"size\":-1,\"total\":-2147483648}}", UnreadList, "");
        row("refresh: empty tokens", "/api/user/app/refresh/token",
            "{\"code\":\"200\",\"data\":{\"token\":\"\",\"refreshToken\":\"\"}}", Refresh,
            "refreshtoken Failed");
        row("permission: 64-bit id", "/api/user/member/app/menu/info", str64, Permission,
            "get Permission info faild");
        row("organisation: 64-bit id", "/api/org/tree", str64, Organisation, "organisation reply refused");
        row("cameras: channel beyond 32 bits", "/api/resource/v2/camera/list/page",
            "{\"code\":\"200\",\"data\":[{\"channelName\":\"东门入口\",\"deviceSerial\":\"PV1000001\","
            "\"channelNo\":1},{\"channelName\":\"西门出口\",\"deviceSerial\":\"PV1000002\",\"channelNo\":"
            "3000000000}]}",
            Cameras, "cameras without serial or channel: 1");
        row("push server: port 2^63", "/api/message/push/server/info",
            "{\"ip\":\"127.0.0.1\",\"port\":9223372036854775808}", PushServer, "Parse TCP ip port error!");
        row("camera info: channel beyond 32 bits", "/api/resource/v2/camera/info",
            "{\"code\":\"200\",\"data\":{\"deviceSerial\":\"PV1000001\",\"channelNo\":3000000000,\"isTrust\":"
            "1}}",
            CameraInfo, "ParseCamInfo Err");
    }
    void hostileReply()
    {
        QFETCH(QString, path);
        QFETCH(QString, body);
        QFETCH(int, asker);
        QFETCH(QString, logged);
        m_sim.clearFaults();
        m_sim.admin("POST", "/admin/requests/clear");
        logkit::clearCapture();
        if (asker == CameraInfo)
            askAllList(); // real rows, one of which is then pressed
        QVERIFY(m_sim.setFault(path, 200, 0, false, 1, body));
        QSignalSpy updated(m_client, &MessageClient::sig_UpdateToken);
        const int nHostFrom = m_fx.host.lines().size();
        switch (asker) {
        case AllList:
            askAllList();
            break;
        case UnreadList: {
            HTTPMSG_BODY unread;
            unread.isRead = 0;
            m_client->OnGetMsgList(1, unread);
            break;
        }
        case Refresh:
            // A 401 starts the refresh whose reply is the hostile one.
            m_client->stopTime(QStringLiteral("RefreshToken"), false, QString());
            QVERIFY(m_sim.setFault("/api/user/member/app/menu/info", 401, 0, false, 1));
            m_client->HttpGetPermisssion();
            break;
        case Permission:
            m_client->HttpGetPermisssion();
            break;
        case Organisation: // the organisation first while it is unknown
        case Cameras: {
            const QString strText = asker == Organisation ? "东门" : "门";
            m_fx.child<QLineEdit>("alarmDevInput")->setText(strText);
            QVERIFY(QMetaObject::invokeMethod(m_client, "OnDevInputTextChanged", Q_ARG(QString, strText)));
            break;
        }
        case PushServer:
            QVERIFY(QMetaObject::invokeMethod(m_client, "StartTcpConnect"));
            break;
        case CameraInfo:
            QTRY_VERIFY_WITH_TIMEOUT(allList()->ShownRows().at(0)->IsPicReqFinished(), 10000);
            emit allList()->pressed(allList()->model()->index(0, 0));
            break;
        }
        QTRY_VERIFY_WITH_TIMEOUT(logged.isEmpty() || logkit::captured(logged.toStdString()), 10000);

        switch (asker) {
        case AllList: {
            const bool bKept = logged.startsWith("records");
            QCOMPARE(int(allList()->ShownRows().size()), bKept ? 1 : 0);
            QVERIFY(!bKept || allList()->ShownRows().at(0)->GetMsgId() == 5);
            QCOMPARE(m_fx.child<QLabel>("pageLab")->text(), QString("1/1"));
            break;
        }
        case UnreadList: {
            const int nLine = m_fx.host.waitForLine("MSG 2054", 10000, nHostFrom);
            QVERIFY(m_fx.host.lines().value(nLine).startsWith("MSG 2054 w=3 l=0 posted"));
            QCOMPARE(m_fx.child<QTabWidget>("resTab")->tabText(1), QString("未读(0)"));
            break;
        }
        case Refresh:
            // The login the host handed over stays, and goes back to it on close.
            QCOMPARE(updated.size(), 0);
            QCOMPARE(QString::fromStdString(LaunchValues::snapshot().Token), m_sim.token());
            QCOMPARE(QString::fromStdString(LaunchValues::snapshot().RefreshToken), m_sim.refreshToken());
            break;
        case Permission:
            QCOMPARE(int(PermissionTable().count(kMsgListMenuId)), 1);
            break;
        case Organisation:
            QVERIFY(m_sim.lastRequests("/api/resource/v2/camera/list/page").isEmpty());
            break;
        case Cameras:
            QCOMPARE(m_fx.child<PopupListWgt>("popLstWgt")->ItemCount(), 1);
            QCOMPARE(m_fx.child<PopupListWgt>("popLstWgt")->CurrentText(), QString("东门入口"));
            break;
        case PushServer:
            QVERIFY(!logkit::captured("Connecting to push server"));
            break;
        case CameraInfo:
            QCOMPARE(allList()->CurrentRow()->GetAlarmInfo().nTrust, -1);
            break;
        }
    }
};

QTEST_MAIN(TestHostileReplies)
#include "tst_hostilereplies.moc"
