// The alarm row against the real platform simulator and the video library:
// plain, redirected, expired and damaged pictures, encrypted pictures with the
// platform's code, a known code, a wrong one and none, the camera query, and
// rows that go away while their picture is being decrypted.
#include "SimulatorProcess.h"

#include "alarms/AlarmShared.h"
#include "alarms/CAlarmMsgParser.h"
#include "alarms/CAlarmMsgWnd.h"
#include "alarms/CPicJob.h"
#include "platform/CPlatformRequest.h"
#include "playback/CVideoSdk.h"
#include "shell/LaunchValues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <json/json.h>

namespace {

constexpr int kWaitMs = 20000;

// The bSuc a selected row reported first, -1 when none came.
int FirstPicResult(QSignalSpy& spy)
{
    if (spy.isEmpty()) {
        spy.wait(kWaitMs);
    }
    return spy.isEmpty() ? -1 : spy.first().at(1).toInt();
}

} // namespace

class TestAlarmRowSim : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{{"--seed", "none"}};
    QTemporaryDir m_dir;

    void setLaunchValues(const QString& strAccessToken)
    {
        const QString strCfg = m_dir.filePath("global_cfg.cfg");
        QFile file(strCfg);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString("<Configure><ca_file>%1</ca_file></Configure>").arg(m_sim.caFile()).toUtf8());
        file.close();
        LaunchValues::update([&](LaunchValues& values) {
            values.ServerUrl = m_sim.baseUrl().toStdString();
            values.Token = m_sim.token().toStdString();
            values.AccessToken = strAccessToken.toStdString();
            values.TrustAccessToken = m_sim.trustAccessToken().toStdString();
            values.AesKey = m_sim.aesKey().toStdString();
            values.CfgPath = strCfg.toStdString();
        });
    }

    // A fresh alarm of that camera as the message list returns it.
    ALARM_INFO_STRUCT newAlarm(const QString& strSerial, int nChannel, const QJsonObject& extra = {})
    {
        QJsonObject fields = extra;
        fields["deviceSerial"] = strSerial;
        fields["channelNo"] = nChannel;
        fields["push"] = false;
        const QJsonArray ids = m_sim.addAlarm(fields);
        const int nId = ids.isEmpty() ? -1 : ids.last().toInt();

        Json::Value body(Json::objectValue);
        body["pageNo"] = 1;
        body["pageSize"] = 10;
        body["deviceSerial"] = strSerial.toStdString();
        body["channelNo"] = nChannel;
        QNetworkAccessManager manager;
        QNetworkReply* reply = CPlatformRequest::Post(
            manager,
            CPlatformRequest::Build(m_sim.baseUrl().toStdString() + "/api/msg/list", "GetAllMsg",
                                    CPlatformRequest::JsonBody, true, QSsl::AnyProtocol),
            CPlatformRequest::WriteJson(body));
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished()) {
            done.wait(kWaitMs);
        }
        std::vector<ALARM_INFO_STRUCT> records;
        int nCur = 0, nPages = 0, nTotal = 0;
        CAlarmMsgParser::Parse(CPlatformRequest::ReadBody(reply), records, nCur, nPages, nTotal);
        delete reply;
        for (const ALARM_INFO_STRUCT& record : records) {
            if (record.id == nId) {
                return record;
            }
        }
        return ALARM_INFO_STRUCT();
    }

    QString picturePath(const ALARM_INFO_STRUCT& info)
    {
        return QUrl(QString::fromStdString(info.picUrl)).path();
    }

    // A selected row given the record; selection comes before any result,
    // which is always delivered through the event loop.
    std::unique_ptr<CAlarmMsgWnd> selectedRow(const ALARM_INFO_STRUCT& info)
    {
        auto row = std::make_unique<CAlarmMsgWnd>(nullptr);
        row->SetAlarmInfo(info);
        row->SetWndSelected(true);
        return row;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
        qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
        setLaunchValues(m_sim.accessToken());
        CVideoSdk::instance()->Init(m_sim.appKey().toStdString());
        CVideoSdk::instance()->SetAccessToken(m_sim.accessToken().toStdString());
    }

    void init()
    {
        m_sim.clearFaults();
        DevCodeMap().clear();
        setLaunchValues(m_sim.accessToken());
    }

    void cleanupTestCase() { CVideoSdk::instance()->FiniLib(); }

    void plainPictureShown()
    {
        const ALARM_INFO_STRUCT info = newAlarm("PV1000001", 1);
        QCOMPARE(info.isEncrypted, std::string("0"));
        auto row = selectedRow(info);
        QVERIFY(!row->IsPicReqFinished());
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 0);
        QCOMPARE(spy.first().at(0).toInt(), info.id);
        QVERIFY(row->IsPicReqFinished());
        QVERIFY(row->HasPic());
        QVERIFY(!row->IsPicFailed());
        QVERIFY(!row->GetPicture().isNull());
    }

    void redirectedPictureFollowed()
    {
        const ALARM_INFO_STRUCT info = newAlarm("PV3000007", 1, {{"redirect", true}});
        QVERIFY2(info.picUrl.find("/pictures/r/") != std::string::npos, info.picUrl.c_str());
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(row->HasPic());
    }

    void expiredPictureShowsOverdue()
    {
        const ALARM_INFO_STRUCT info = newAlarm("PV1000001", 1);
        QVERIFY(m_sim.admin("POST", "/admin/pictures/expire", {{"alarmId", info.id}, {"expired", true}})
                    .value("ok")
                    .toBool());
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 2);
        QVERIFY(row->IsPicOverdue());
        QVERIFY(!row->HasPic());
        QVERIFY(row->IsPicReqFinished());

        // A refresh after the server has it again shows it and tells the
        // window the earlier failure is over.
        m_sim.admin("POST", "/admin/pictures/expire", {{"alarmId", info.id}, {"expired", false}});
        spy.clear();
        row->LoadPicture();
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(!row->IsPicOverdue());
    }

    void damagedPicturesFail_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::newRow("not an image") << 200 << "this is not a picture";
        QTest::newRow("server error") << 500 << "";
    }
    void damagedPicturesFail()
    {
        QFETCH(int, status);
        QFETCH(QString, body);
        const ALARM_INFO_STRUCT info = newAlarm("PV1000001", 1);
        QJsonObject fault{{"path", picturePath(info)}, {"status", status}, {"count", -1}};
        if (!body.isEmpty()) {
            fault["body"] = body;
        }
        QVERIFY(m_sim.admin("POST", "/admin/faults", fault).value("ok").toBool());
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QSignalSpy refreshSpy(row.get(), &CAlarmMsgWnd::sigRefeshUpdateMainMaxInfo);
        QCOMPARE(FirstPicResult(spy), 1);
        QVERIFY(row->IsPicFailed());
        QVERIFY(!row->HasPic());
        QCOMPARE(refreshSpy.count(), 0);

        m_sim.clearFaults();
        spy.clear();
        row->LoadPicture();
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(!row->IsPicFailed());
        QCOMPARE(refreshSpy.count(), 1);
    }

    void encryptedWithPlatformCode_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("code");
        QTest::newRow("6 characters") << "PV1000002"
                                      << "QWERTY";
        QTest::newRow("8 characters") << "PV1000003"
                                      << "HK8D2MZP";
    }
    void encryptedWithPlatformCode()
    {
        QFETCH(QString, serial);
        QFETCH(QString, code);
        const ALARM_INFO_STRUCT info = newAlarm(serial, 1);
        QCOMPARE(info.isEncrypted, std::string("1"));
        QVERIFY(!info.ipcValidateCode.empty());
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(row->IsDecrypted());
        QVERIFY(row->HasPic());
        QCOMPARE(row->GetPicCode(), code.toStdString());
        QCOMPARE(row->GetAlarmInfo().validateCode, code.toStdString());
    }

    void encryptedWithKnownCode_data()
    {
        QTest::addColumn<bool>("withChannel");
        QTest::newRow("serial and channel") << true;
        QTest::newRow("serial alone") << false;
    }
    void encryptedWithKnownCode()
    {
        QFETCH(bool, withChannel);
        // The platform has no copy of this camera's code.
        const ALARM_INFO_STRUCT info = newAlarm("PV1000004", 1);
        QVERIFY(info.ipcValidateCode.empty());
        DevCodeMap()[withChannel ? DevCodeKey("PV1000004", 1) : std::string("PV1000004")] = "ZXCVBN";
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(row->IsDecrypted());
    }

    void encryptedWithoutCodeNeedsOne()
    {
        const ALARM_INFO_STRUCT info = newAlarm("PV1000004", 1);
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 1);
        QVERIFY(row->IsPicFailed());
        QVERIFY(row->IsPicReqFinished());
        QVERIFY(!row->IsDecrypted());

        // The code entered elsewhere decrypts it, and the window hears that
        // the failure is over.
        QSignalSpy refreshSpy(row.get(), &CAlarmMsgWnd::sigRefeshUpdateMainMaxInfo);
        spy.clear();
        row->DecodeImage("ZXCVBN");
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(row->IsDecrypted());
        QCOMPARE(refreshSpy.count(), 1);
        QCOMPARE(row->GetAlarmInfo().validateCode, std::string("ZXCVBN"));

        // Once decrypted, another code changes nothing.
        spy.clear();
        row->DecodeImage("WRONG9");
        QTest::qWait(300);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(row->GetPicCode(), std::string("ZXCVBN"));
    }

    void encryptedWithWrongCodeFails_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("known");
        QTest::newRow("stale platform copy") << "PV2000100" << 3 << "";
        QTest::newRow("wrong known code") << "PV1000002" << 1 << "ASDFGH";
    }
    void encryptedWithWrongCodeFails()
    {
        QFETCH(QString, serial);
        QFETCH(int, channel);
        QFETCH(QString, known);
        const ALARM_INFO_STRUCT info = newAlarm(serial, channel);
        if (!known.isEmpty()) {
            DevCodeMap()[DevCodeKey(serial.toStdString(), channel)] = known.toStdString();
        }
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 1);
        QVERIFY(row->IsPicFailed());
        QVERIFY(!row->IsDecrypted());
        QVERIFY(!row->HasPic());
    }

    void encryptedExpired()
    {
        const ALARM_INFO_STRUCT info = newAlarm("PV1000002", 1);
        m_sim.admin("POST", "/admin/pictures/expire", {{"alarmId", info.id}, {"expired", true}});
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 2);
        QVERIFY(row->IsPicOverdue());
        QVERIFY(!row->IsPicFailed());
    }

    void lostAccessTokenReported()
    {
        ALARM_INFO_STRUCT info = newAlarm("PV1000002", 1);
        info.nTrust = 0; // the ordinary access token is used
        setLaunchValues("not-a-valid-token");
        auto row = std::make_unique<CAlarmMsgWnd>(nullptr);
        QSignalSpy lostSpy(row.get(), &CAlarmMsgWnd::sigAcesLosEff);
        row->SetAlarmInfo(info);
        QVERIFY(lostSpy.wait(kWaitMs));
        QVERIFY(row->IsPicReqFinished());
        QVERIFY(!row->HasPic());
    }

    void cameraQueryOnSelection()
    {
        m_sim.admin("POST", "/admin/requests/clear");
        const ALARM_INFO_STRUCT info = newAlarm("PV1000005", 1);
        QCOMPARE(info.nTrust, -1);
        auto row = std::make_unique<CAlarmMsgWnd>(nullptr);
        row->SetAlarmInfo(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigCamInfoUpdate);
        row->SetWndSelected(true);
        QVERIFY(spy.wait(kWaitMs));
        QCOMPARE(spy.first().at(0).toString(), QString("PV1000005"));
        QCOMPARE(spy.first().at(1).toInt(), 1);
        QCOMPARE(spy.first().at(2).toInt(), 1);
        QCOMPARE(row->GetAlarmInfo().nTrust, 1);

        const QJsonArray requests = m_sim.lastRequests("/api/resource/v2/camera/info");
        QCOMPARE(requests.size(), 1);
        const QJsonObject body =
            QJsonDocument::fromJson(requests.at(0).toObject().value("body").toString().toUtf8()).object();
        QCOMPARE(body.value("clientType").toInt(), 4);
        QCOMPARE(body.value("deviceSerial").toString(), QString("PV1000005"));
        QVERIFY(body.value("channelNo").isDouble());

        // Known now: selecting again asks nothing.
        row->SetWndSelected(false);
        QTest::qWait(300);
        QCOMPARE(m_sim.lastRequests("/api/resource/v2/camera/info").size(), 1);
    }

    void rowsGoneWhileLoading()
    {
        m_sim.admin("POST", "/admin/requests/clear");
        const ALARM_INFO_STRUCT info = newAlarm("PV1000002", 1);
        // Every thread of the pool busy with a slow picture of a live row;
        // pages of rows then come and go: their queued work is dropped, not
        // fetched ahead of the rows still shown.
        QVERIFY(m_sim.setFault(picturePath(info), 0, 800));
        std::vector<std::unique_ptr<CAlarmMsgWnd>> busy;
        for (int i = 0; i < CPicJob::kPoolThreads; ++i) {
            busy.push_back(std::make_unique<CAlarmMsgWnd>(nullptr));
            busy.back()->SetAlarmInfo(info);
        }
        QTRY_COMPARE_WITH_TIMEOUT(CPicJob::Pool().activeThreadCount(), CPicJob::kPoolThreads, kWaitMs);
        // A plain picture first looks in the snapshot cache on the pool: a
        // row gone before that is done downloads nothing either.
        const ALARM_INFO_STRUCT queuedPlain = newAlarm("PV1000001", 1);
        for (int i = 0; i < 10; ++i) {
            auto row = std::make_unique<CAlarmMsgWnd>(nullptr);
            row->SetAlarmInfo(i % 2 == 0 ? info : queuedPlain);
        }
        QVERIFY(CPicJob::Pool().waitForDone(kWaitMs));
        QCOMPARE(m_sim.lastRequests(picturePath(info)).size(), CPicJob::kPoolThreads);
        QCOMPARE(m_sim.lastRequests(picturePath(queuedPlain)).size(), 0);
        busy.clear();
        // Deleted after the result was posted but before it was delivered:
        // the pending delivery goes with the row and frees the buffer.
        m_sim.clearFaults();
        {
            auto row = std::make_unique<CAlarmMsgWnd>(nullptr);
            row->SetAlarmInfo(info);
            QVERIFY(CPicJob::Pool().waitForDone(kWaitMs));
        }
        QVERIFY(CPicJob::Pool().waitForDone(kWaitMs));
        QTest::qWait(100);

        // A plain download in flight goes with its row too.
        const ALARM_INFO_STRUCT plain = newAlarm("PV1000001", 1);
        QVERIFY(m_sim.setFault(picturePath(plain), 0, 500));
        for (int i = 0; i < 3; ++i) {
            auto row = std::make_unique<CAlarmMsgWnd>(nullptr);
            row->SetAlarmInfo(plain);
            QTest::qWait(50 * i);
        }
        QTest::qWait(600);

        // The pool is still there for the next row.
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        QCOMPARE(FirstPicResult(spy), 0);
    }

    void laterLoadWins()
    {
        // A first, wrong attempt overtaken by a second one: only the second
        // decides the row's state.
        const ALARM_INFO_STRUCT info = newAlarm("PV1000004", 1);
        QVERIFY(m_sim.setFault(picturePath(info), 0, 600, false, 1));
        DevCodeMap()["PV1000004"] = "BADBAD";
        auto row = selectedRow(info);
        QSignalSpy spy(row.get(), &CAlarmMsgWnd::sigMsgPicUpdate);
        DevCodeMap()["PV1000004"] = "ZXCVBN";
        row->LoadPicture();
        QCOMPARE(FirstPicResult(spy), 0);
        QVERIFY(CPicJob::Pool().waitForDone(kWaitMs));
        QTest::qWait(100);
        QCOMPARE(spy.count(), 1);
        QVERIFY(row->IsDecrypted());
        QVERIFY(!row->IsPicFailed());
    }
};

QTEST_MAIN(TestAlarmRowSim)
#include "tst_alarmrow_sim.moc"
