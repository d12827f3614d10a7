// Playback without a server: the slider scale of a clip, the worker fed what
// the video library reports from a foreign thread as the library does, the bar.
#include "base/AlarmTypes.h"
#include "base/LaunchValues.h"
#include "playback/CPlayThread.h"
#include "playback/CRecordTable.h"
#include "playback/CVideoSdk.h"
#include "playback/CusSlider.h"
#include "playback/CusSliderWnd.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

using Files = std::vector<RecordFile>;

// "key start-end slider+length" per segment, times of day only.
QString Describe(const RecordSegmentMap& segments)
{
    QStringList parts;
    for (const auto& [nKey, seg] : segments) {
        parts << QString::asprintf("%d %s-%s %d+%d", nKey, seg.start.substr(11).c_str(),
                                   seg.end.substr(11).c_str(), seg.sliderStart, seg.length);
    }
    return parts.join("; ");
}

// "10:00:10-10:00:40" per file, on the window's day; text without a colon as it is.
Files Spans(const QStringList& spans)
{
    Files files;
    for (const QString& strSpan : spans) {
        const auto full = [](const QString& strTime) {
            return (strTime.contains(':') ? "2024-05-06 " + strTime : strTime).toStdString();
        };
        files.push_back({full(strSpan.section('-', 0, 0)), full(strSpan.section('-', 1))});
    }
    return files;
}

RecordSegmentMap Build(const Files& files, std::vector<int>* pLengths = nullptr)
{
    return CRecordTable::Build(files, "2024-05-06 10:00:00", "2024-05-06 10:02:00", pLengths);
}

const Files kGap = Spans({"10:00:30-10:01:00", "10:01:20-10:03:00"});

// The library's callbacks come on threads of their own.
void SendMessage(CPlayThread& worker, unsigned int nType, unsigned int nCode,
                 const std::string& strSession = {})
{
    const std::string strId = strSession.empty() ? worker.SessionId() : strSession;
    std::thread([&] {
        CPlayThread::RecordMessageHandler(strId.c_str(), nType, nCode, nullptr, &worker);
    }).join();
}

void SendData(CPlayThread& worker, unsigned int nType)
{
    char data[4] = {1, 2, 3, 4};
    std::thread([&] { CPlayThread::RecordDataHandler(nType, data, sizeof(data), &worker); }).join();
}

std::unique_ptr<CPlayThread> NewWorker()
{
    auto pWorker = std::make_unique<CPlayThread>(nullptr);
    pWorker->InitSession();
    pWorker->SetCamInfo("PV1000001", 1);
    pWorker->SetAlarmTime(1714960860000.0, QStringLiteral("2024-05-06 10:01:00"));
    return pWorker;
}

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        LaunchValues::update([](LaunchValues& values) { values.Appkey = "unit-app-key"; });
        CVideoSdk::instance()->Init("unit-app-key");
    }

    void scale_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("segments");
        QTest::addColumn<int>("length"); // the last length announced, -1: none
        QTest::newRow("clipped to the window")
            << QStringList({"09:59:00-10:05:00"}) << "0 10:00:00-10:02:00 0+120" << 120;
        QTest::newRow("a gap: end to end, a second shorter each")
            << QStringList({"10:00:30-10:01:00", "10:01:20-10:03:00"})
            << "0 10:00:30-10:01:00 0+29; 1 10:01:20-10:02:00 29+39" << 68;
        // A file starting before the last one ended plays on from where that
        // ended, not from the window's start.
        QTest::newRow("overlap") << QStringList({"10:00:10-10:00:40", "10:00:30-10:01:10"})
                                 << "0 10:00:10-10:00:40 0+29; 1 10:00:40-10:01:10 29+29" << 58;
        // Files that never became segments must not keep the scale at its default.
        QTest::newRow("short, duplicate and odd files dropped")
            << QStringList(
                   {"10:00:10-10:00:11", "10:00:20-10:00:40", "10:00:20-10:01:40", "garbage-10:00:40"})
            << "0 10:00:20-10:00:40 0+20" << 20;
        QTest::newRow("inside the covered part: skipped, key kept")
            << QStringList({"09:59:00-10:00:30", "10:00:10-10:00:31", "10:01:00-10:01:30"})
            << "0 10:00:00-10:00:30 0+29; 2 10:01:00-10:01:30 29+29" << 58;
    }
    void scale()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, segments);
        QFETCH(int, length);
        std::vector<int> lengths;
        QCOMPARE(Describe(Build(Spans(files), &lengths)), segments);
        QCOMPARE(lengths.empty() ? -1 : lengths.back(), length);
    }

    void seekAndPosition()
    {
        const RecordSegmentMap segments = Build(kGap);
        int nKey = -1;
        std::string strStart;
        QVERIFY(CRecordTable::SeekTarget(segments, 40, nKey, strStart));
        QCOMPARE(strStart, std::string("2024-05-06 10:01:31"));
        QVERIFY(!CRecordTable::SeekTarget(segments, 500, nKey, strStart));

        const int nBase = 10 * 3600;
        CRecordTable::Position position = CRecordTable::Locate(segments, nBase + 90);
        QVERIFY(position.bFound && position.nValue == 29 + 10);
        position = CRecordTable::Locate(segments, nBase + 70); // in the gap
        QVERIFY(!position.bFound && !position.bBeforeFirst);

        // An overlapping file: a picture at 10:00:50 is ten seconds into the second segment.
        const RecordSegmentMap overlap = Build(Spans({"10:00:10-10:00:40", "10:00:30-10:01:10"}));
        QCOMPARE(CRecordTable::Locate(overlap, nBase + 50).nValue, 29 + 10);
        QVERIFY(CRecordTable::SeekTarget(overlap, 29 + 5, nKey, strStart));
        QCOMPARE(strStart, std::string("2024-05-06 10:00:45"));
    }

    void callbacksOfItsOwnSessionReachTheWorkersThread()
    {
        auto pWorker = NewWorker();
        QSignalSpy failures(pWorker.get(), &CPlayThread::RecordPlayException);
        SendMessage(*pWorker, 28, 0, "another-session");
        CPlayThread::RecordMessageHandler(nullptr, 28, 0, nullptr, pWorker.get());
        CPlayThread::RecordMessageHandler(pWorker->SessionId().c_str(), 28, 0, nullptr, nullptr);
        CPlayThread::RecordDataHandler(OPENSDK_DATA_FRAME, nullptr, 0, nullptr);
        QThread* pSeen = nullptr;
        connect(
            pWorker.get(), &CPlayThread::RecordStartSignal, this, [&] { pSeen = QThread::currentThread(); },
            Qt::DirectConnection);
        SendMessage(*pWorker, OPENSDK_MSG_PLAY_STARTED, 0);
        QTRY_VERIFY(pSeen != nullptr);
        QCOMPARE(pSeen, QThread::currentThread());
        QCOMPARE(failures.count(), 0);
    }

    // Two frames before the first is handled still make one first frame; a
    // paused worker, or one stopped while the frame's notice is queued, none.
    void firstFrame()
    {
        auto pWorker = NewWorker();
        QSignalSpy first(pWorker.get(), &CPlayThread::RealPlayFirstFrameSignal);
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(first.count(), 1);

        auto pPaused = NewWorker();
        QSignalSpy pausedFirst(pPaused.get(), &CPlayThread::RealPlayFirstFrameSignal);
        pPaused->OnRecordPlayOrPauseSlot(false);
        SendData(*pPaused, OPENSDK_DATA_FRAME);
        QCoreApplication::sendPostedEvents();
        pPaused->OnRecordPlayOrPauseSlot(true);
        SendData(*pPaused, OPENSDK_DATA_FRAME);
        pPaused->StopRecordPlay();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(pausedFirst.count(), 0);
        QVERIFY(!pPaused->IsRecordPlaying());
    }

    // A stream replaced by a seek reports "stopped on request" too; after the
    // operator's stop, the library's stop message changes nothing.
    void onlyTheOperatorsStopEndsTheClip()
    {
        auto pWorker = NewWorker();
        QSignalSpy failures(pWorker.get(), &CPlayThread::RecordPlayException);
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        QTRY_VERIFY(pWorker->IsRecordPlaying());
        SendMessage(*pWorker, OPENSDK_MSG_PLAY_STOPPED, OPENSDK_ERR_PLAY_STOPPED_BY_USER);
        QCoreApplication::sendPostedEvents();
        QVERIFY(pWorker->IsRecordPlaying());
        pWorker->StopRecordPlay();
        QVERIFY(!pWorker->IsRecordPlaying() && !pWorker->IsPlayRequested());
        SendMessage(*pWorker, OPENSDK_MSG_PLAY_STOPPED, OPENSDK_ERR_PLAY_STOPPED_BY_USER);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(failures.count(), 0);
    }

    void oddSearchResults()
    {
        auto pWorker = NewWorker();
        QSignalSpy length(pWorker.get(), &CPlayThread::SetRecordSliderLengthSignal);
        QSignalSpy failure(pWorker.get(), &CPlayThread::RecordPlayException);
        pWorker->OnRecordSearchSlot(nullptr);
        // Not asked for (stopped, or never started): no playback from a late answer.
        pWorker->OnRecordSearchSlot(R"({"FileSize":1,"FileList":[{"StartTime":"2024-05-06 10:00:10",)"
                                    R"("EndTime":"2024-05-06 10:01:00"}]})");
        QVERIFY(pWorker->Segments().empty());
        QCOMPARE(length.count(), 0);
        QCOMPARE(failure.count(), 0);
        // Nothing usable found is said at once, not after the first-frame time-out.
        pWorker->OnRecordSearchSlot(R"({"FileSize":0,"FileList":[]})");
        QCOMPARE(failure.count(), 1);
        QCOMPARE(failure.at(0).at(0).toString(), QStringLiteral("该告警消息无录像"));
    }

    // A press seeks to the second under the pointer (again where released),
    // and the old stream's positions do not pull the handle back until the
    // new one has started; the end of the groove ends the clip instead.
    void barSlider()
    {
        CPlayThread worker(nullptr);
        CusSliderWnd bar(&worker, nullptr);
        auto* pSlider = bar.findChild<CusSlider*>();
        pSlider->resize(300, 20);
        QSignalSpy seek(pSlider, &CusSlider::SliderPosClickedSignal);
        QSignalSpy end(pSlider, &CusSlider::SliderEndPosSignal);
        emit worker.SetRecordSliderLengthSignal(120);
        emit worker.UpdateRecordTimeSliderSignal(30);
        QCOMPARE(pSlider->value(), 30);
        QTest::mousePress(pSlider, Qt::LeftButton, {}, QPoint(150, 5));
        QTest::mouseRelease(pSlider, Qt::LeftButton, {}, QPoint(150, 5));
        QCOMPARE(seek.count(), 2);
        QCOMPARE(seek.at(1).at(0).toInt(), 60);
        emit worker.UpdateRecordTimeSliderSignal(99);
        QCOMPARE(pSlider->value(), 60);
        emit worker.RecordStartSignal();
        emit worker.UpdateRecordTimeSliderSignal(77);
        QCOMPARE(pSlider->value(), 77);
        QTest::mousePress(pSlider, Qt::LeftButton, {}, QPoint(300, 5));
        QCOMPARE(end.count(), 1);
        QCOMPARE(CusSlider::ValueAt(0, 752, 10, 0), 0); // a groove not laid out yet
    }
};

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
