// Whole playbacks against the real simulator and video library: the search
// around an alarm with a gap in its recordings, the first frame, the slider
// following the picture's time across the gap, seek, pause, stop, the end of
// the span, and the failures the operator is told about.
#include "SimulatorProcess.h"

#include "alarms/AlarmTypes.h"
#include "playback/CPlayThread.h"
#include "playback/CVideoSdk.h"
#include "shell/LaunchValues.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTimer>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWaitMs = 30000;
constexpr qint64 kSecond = 1000;

QString LocalText(qint64 nMs)
{
    return QDateTime::fromMSecsSinceEpoch(nMs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

int MaxOf(const QSignalSpy& spy)
{
    int nMax = -1;
    for (const QList<QVariant>& args : spy) {
        nMax = qMax(nMax, args.at(0).toInt());
    }
    return nMax;
}

bool Contains(const QSignalSpy& spy, const QString& strText)
{
    for (const QList<QVariant>& args : spy) {
        if (args.at(0).toString() == strText) {
            return true;
        }
    }
    return false;
}

// One worker without a window, its signals recorded, and the window's
// on-screen-time poll played by a timer.
struct Player
{
    std::unique_ptr<CPlayThread> worker = std::make_unique<CPlayThread>(nullptr);
    QSignalSpy lengths{worker.get(), &CPlayThread::SetRecordSliderLengthSignal};
    QSignalSpy first{worker.get(), &CPlayThread::RealPlayFirstFrameSignal};
    QSignalSpy failures{worker.get(), &CPlayThread::RecordPlayException};
    QSignalSpy positions{worker.get(), &CPlayThread::UpdateRecordTimeSliderSignal};
    QSignalSpy seeks{worker.get(), &CPlayThread::SliderPressOrDrag};
    QSignalSpy frames{worker.get(), &CPlayThread::HasFrameSignal};
    QTimer poll;

    Player(qint64 nAlarmMs, const QString& strAlarmText)
    {
        worker->InitSession();
        worker->SetAlarmTime(static_cast<double>(nAlarmMs), strAlarmText);
        poll.setInterval(200);
        QObject::connect(&poll, &QTimer::timeout, worker.get(), [this] {
            if (worker->IsRecordPlaying()) {
                worker->GetPlayTime();
            }
        });
        poll.start();
    }
};

} // namespace

class TestPlayThreadSim : public QObject
{
    Q_OBJECT
private:
    SimulatorProcess m_sim{{"--seed", "none"}};
    // Noon yesterday: the two-minute windows never cross midnight.
    const qint64 m_nBase = QDateTime(QDate::currentDate().addDays(-1), QTime(12, 0, 0)).toMSecsSinceEpoch();
    // Recordings of the first camera: base ± 90 s and base + 110 s .. + 290 s.
    // An alarm at base + 145 s searches base + 85 s .. + 205 s: 5 s, a 20 s gap, 95 s.
    qint64 gapAlarm() const { return m_nBase + 145 * kSecond; }

    void addRecording(const QString& strSerial, qint64 nAroundMs)
    {
        const QJsonArray ids = m_sim.addAlarm(
            {{"deviceSerial", strSerial}, {"channelNo", 1}, {"alarmTime", nAroundMs}, {"push", false}});
        QVERIFY2(!ids.isEmpty(), qPrintable(strSerial));
    }

    QString lastStreamStart()
    {
        const QJsonArray requests = m_sim.lastRequests("/cloud/v1/stream", 1);
        if (requests.isEmpty()) {
            return QString();
        }
        QString strQuery = requests.last().toObject().value("query").toString();
        strQuery.replace('+', ' ');
        return QUrlQuery(strQuery).queryItemValue("start", QUrl::FullyDecoded);
    }

    static void startGapClip(Player& player)
    {
        player.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
        QTRY_VERIFY_WITH_TIMEOUT(player.first.count() == 1, kWaitMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
        qputenv("PAVRIX_CLOUD_URL", m_sim.cloudUrl().toUtf8());
        qputenv("PAVRIX_CA_FILE", m_sim.caFile().toUtf8());
        LaunchValues::update([this](LaunchValues& values) {
            values.Appkey = m_sim.appKey().toStdString();
            values.AccessToken = m_sim.accessToken().toStdString();
            values.TrustAccessToken = m_sim.trustAccessToken().toStdString();
        });
        CVideoSdk::instance()->Init(m_sim.appKey().toStdString());
        addRecording("PV1000001", m_nBase);
        addRecording("PV1000001", m_nBase + 200 * kSecond);
        addRecording("PV1000002", m_nBase);
        addRecording("PV1000006", m_nBase);
        QVERIFY(m_sim.setDeviceOnline("PV1000006", 1, false));
    }

    void init() { m_sim.clearFaults(); }

    void cleanupTestCase() { CVideoSdk::instance()->FiniLib(); }

    void searchLaysTheGapOnOneScaleAndPlaysAcrossIt()
    {
        const QString strAlarm = LocalText(gapAlarm());
        Player player(gapAlarm(), strAlarm);
        startGapClip(player);

        QCOMPARE(player.lengths.count(), 1);
        QCOMPARE(player.lengths.at(0).at(0).toInt(), 98);
        const RecordSegmentMap segments = player.worker->Segments();
        QCOMPARE(segments.size(), size_t(2));
        const RecordSegment& head = segments.at(0);
        QCOMPARE(QString::fromStdString(head.start), LocalText(m_nBase + 85 * kSecond));
        QCOMPARE(QString::fromStdString(head.end), LocalText(m_nBase + 90 * kSecond));
        QCOMPARE(head.sliderEnd, 4);
        const RecordSegment& tail = segments.at(1);
        QCOMPARE(QString::fromStdString(tail.start), LocalText(m_nBase + 110 * kSecond));
        QCOMPARE(QString::fromStdString(tail.end), LocalText(m_nBase + 205 * kSecond));
        QCOMPARE(tail.sliderStart, 4);
        QCOMPARE(tail.sliderEnd, 98);

        const QList<QVariant> args = player.first.at(0);
        QCOMPARE(args.at(0).value<std::string>(), std::string("PV10000011"));
        QCOMPARE(args.at(1).value<std::string>(), std::string("ABCDEF"));
        QCOMPARE(args.at(2).toString(), strAlarm);
        QVERIFY(player.worker->IsRecordPlaying());

        // The first segment ends after five seconds; the slider goes on in the second.
        QTRY_VERIFY_WITH_TIMEOUT(MaxOf(player.positions) >= 6, kWaitMs);
        int nLast = 0;
        for (const QList<QVariant>& position : player.positions) {
            QVERIFY(position.at(0).toInt() >= nLast);
            nLast = position.at(0).toInt();
        }
        const int nOsd = CRecordTable::SecondsOfDay(player.worker->OsdTime());
        QVERIFY(nOsd > CRecordTable::SecondsOfDay(tail.start));
        QCOMPARE(player.first.count(), 1);
        QCOMPARE(player.failures.count(), 0);

        player.worker->StopRecordPlay();
        QTRY_VERIFY_WITH_TIMEOUT(!player.worker->IsRecordPlaying(), kWaitMs);
    }

    void seekPauseResumeAndStop()
    {
        Player player(gapAlarm(), LocalText(gapAlarm()));
        startGapClip(player);

        player.worker->OnSliderPosClickedSlot(50);
        QCOMPARE(player.seeks.count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(lastStreamStart(), LocalText(m_nBase + 156 * kSecond), kWaitMs);
        player.positions.clear();
        QTRY_VERIFY_WITH_TIMEOUT(MaxOf(player.positions) >= 50, kWaitMs);
        QVERIFY(player.positions.first().at(0).toInt() >= 50);
        QVERIFY(player.positions.first().at(0).toInt() <= 56);
        QCOMPARE(player.first.count(), 1); // a seek is no new start for the window

        player.worker->OnRecordPlayOrPauseSlot(false);
        QVERIFY(!player.frames.isEmpty());
        QCOMPARE(player.frames.last().at(1).toBool(), true);
        QTest::qWait(400);
        player.worker->GetPlayTime();
        const std::string strPaused = player.worker->OsdTime();
        QTest::qWait(1500);
        player.worker->GetPlayTime();
        QCOMPARE(player.worker->OsdTime(), strPaused);

        player.worker->OnRecordPlayOrPauseSlot(true);
        QTRY_VERIFY_WITH_TIMEOUT(player.worker->OsdTime() != strPaused, kWaitMs);

        player.worker->StopRecordPlay();
        QVERIFY(!player.worker->IsPlayRequested());
        QTRY_VERIFY_WITH_TIMEOUT(!player.worker->IsRecordPlaying(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.admin("GET", "/admin/streams").value("streams").toArray().isEmpty(),
                                 kWaitMs);
        QCOMPARE(player.failures.count(), 0); // stopped mid-clip: not the end
    }

    void theEndOfTheSpanEndsPlayback()
    {
        Player player(gapAlarm(), LocalText(gapAlarm()));
        startGapClip(player);
        player.worker->OnSliderPosClickedSlot(95);
        QTRY_VERIFY_WITH_TIMEOUT(Contains(player.failures, QStringLiteral("回放结束")), kWaitMs);
        QCOMPARE(player.failures.count(), 1);
        QVERIFY(!player.worker->IsPlayRequested());
        QTRY_VERIFY_WITH_TIMEOUT(!player.worker->IsRecordPlaying(), kWaitMs);
    }

    void failuresReachTheOperator_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unknown channel") << "PV1000001" << 9 << "ABCDEF" << QStringLiteral("通道不存在");
        QTest::newRow("wrong code") << "PV1000002" << 1 << "WRONG1" << QStringLiteral("验证码错误");
        QTest::newRow("offline") << "PV1000006" << 1 << "PARKBB02" << QStringLiteral("设备不在线");
        QTest::newRow("no recording") << "PV3000007" << 1 << "LOADER" << QStringLiteral("该告警消息无录像");
    }

    void failuresReachTheOperator()
    {
        QFETCH(QString, serial);
        QFETCH(int, channel);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        Player player(m_nBase, LocalText(m_nBase));
        player.worker->StartPlay(serial.toStdString(), channel, code.toStdString(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!player.failures.isEmpty(), kWaitMs);
        QCOMPARE(player.failures.first().at(0).toString(), expected);
        QCOMPARE(player.first.count(), 0);
        QVERIFY(!player.worker->IsPlayRequested());
    }

    void theWorkerMayGoWhileItsSearchRuns()
    {
        // Longer than the worker waits for a search when it goes.
        QVERIFY(m_sim.setFault("/cloud/v1/records", 0, 4000));
        {
            Player player(gapAlarm(), LocalText(gapAlarm()));
            player.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
            player.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
        }
        // Late answers of the searches find nobody to call; nothing may crash.
        QTest::qWait(5000);
        QVERIFY(m_sim.isRunning());
    }
};

QTEST_MAIN(TestPlayThreadSim)
#include "tst_playthread_sim.moc"
