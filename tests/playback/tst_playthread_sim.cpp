// Whole playbacks against the real simulator and video library: a gap in the
// recordings, seek, the span's end, the failures the operator is told about.
#include "SimulatorProcess.h"

#include "base/AlarmTypes.h"
#include "base/LaunchValues.h"
#include "playback/CPlayThread.h"
#include "playback/CVideoSdk.h"

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

// A worker without a window, its signals recorded, the window's poll played by a timer.
struct Player
{
    std::unique_ptr<CPlayThread> worker = std::make_unique<CPlayThread>(nullptr);
    QSignalSpy lengths{worker.get(), &CPlayThread::SetRecordSliderLengthSignal};
    QSignalSpy first{worker.get(), &CPlayThread::RealPlayFirstFrameSignal};
    QSignalSpy failures{worker.get(), &CPlayThread::RecordPlayException};
    QSignalSpy positions{worker.get(), &CPlayThread::UpdateRecordTimeSliderSignal};
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

    QString lastStreamStart()
    {
        QString strQuery = m_sim.lastRequests("/cloud/v1/stream", 1).at(0)["query"].toString();
        return QUrlQuery(strQuery.replace('+', ' ')).queryItemValue("start", QUrl::FullyDecoded);
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
        const QList<QPair<QString, qint64>> recordings{{"PV1000001", m_nBase},
                                                       {"PV1000001", m_nBase + 200 * kSecond},
                                                       {"PV1000002", m_nBase},
                                                       {"PV1000006", m_nBase}};
        for (const auto& recording : recordings) {
            QVERIFY(!m_sim
                         .addAlarm({{"deviceSerial", recording.first},
                                    {"channelNo", 1},
                                    {"alarmTime", recording.second},
                                    {"push", false}})
                         .isEmpty());
        }
        QVERIFY(m_sim.setDeviceOnline("PV1000006", 1, false));
    }

    void init() { m_sim.clearFaults(); }

    void cleanupTestCase() { CVideoSdk::instance()->FiniLib(); }

    // The search around the alarm lays 5 s, a 20 s gap and 95 s on one
    // scale; the picture plays across the gap with the slider following it,
    // a seek plays from the chosen second, and the span's end ends the clip.
    void playsAcrossTheGapSeeksAndEnds()
    {
        const QString strAlarm = LocalText(gapAlarm());
        Player player(gapAlarm(), strAlarm);
        player.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
        QTRY_VERIFY_WITH_TIMEOUT(player.first.count() == 1, kWaitMs);
        QCOMPARE(player.lengths.at(0).at(0).toInt(), 98);
        QCOMPARE(player.worker->Segments().at(1).start, LocalText(m_nBase + 110 * kSecond).toStdString());
        const QList<QVariant> args = player.first.at(0);
        QCOMPARE(args.at(0).value<std::string>(), std::string("PV10000011"));
        QCOMPARE(args.at(1).value<std::string>(), std::string("ABCDEF"));
        QCOMPARE(args.at(2).toString(), strAlarm);

        QTRY_VERIFY_WITH_TIMEOUT(MaxOf(player.positions) >= 6, kWaitMs);
        int nLast = 0;
        for (const QList<QVariant>& position : player.positions) {
            QVERIFY(position.at(0).toInt() >= nLast);
            nLast = position.at(0).toInt();
        }

        player.worker->OnSliderPosClickedSlot(50);
        QTRY_COMPARE_WITH_TIMEOUT(lastStreamStart(), LocalText(m_nBase + 156 * kSecond), kWaitMs);
        player.positions.clear();
        QTRY_VERIFY_WITH_TIMEOUT(MaxOf(player.positions) >= 50, kWaitMs);
        QVERIFY(player.positions.first().at(0).toInt() <= 56);

        player.worker->OnSliderPosClickedSlot(95);
        QTRY_VERIFY_WITH_TIMEOUT(!player.failures.isEmpty(), kWaitMs);
        QCOMPARE(player.failures.at(0).at(0).toString(), QStringLiteral("回放结束"));
        QCOMPARE(player.first.count(), 1); // a seek is no new start for the window
        QTRY_VERIFY_WITH_TIMEOUT(!player.worker->IsRecordPlaying(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.admin("GET", "/admin/streams").value("streams").toArray().isEmpty(),
                                 kWaitMs);
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
        QVERIFY(m_sim.setFault("/cloud/v1/records", 0, 3000));
        {
            Player player(gapAlarm(), LocalText(gapAlarm()));
            player.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
            player.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
        }
        // Their late answers find nobody to call; a search sent after them is
        // answered after them.
        Player next(gapAlarm(), LocalText(gapAlarm()));
        next.worker->StartPlay("PV1000001", 1, "ABCDEF", 0);
        QTRY_VERIFY_WITH_TIMEOUT(!next.lengths.isEmpty(), kWaitMs);
        next.worker->StopRecordPlay();
    }
};

QTEST_MAIN(TestPlayThreadSim)
#include "tst_playthread_sim.moc"
