// The playback worker's reactions to what the video library reports, fed
// straight into its callbacks from a foreign thread as the library does: the
// operator texts, the first frame, stop messages that must (or must not) end
// the playback, and results for an alarm the window no longer shows.
#include "alarms/AlarmTypes.h"
#include "logkit/LogKit.h"
#include "playback/CPlayThread.h"
#include "playback/CVideoSdk.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

const char* const kResult = R"({"FileSize":1,"FileList":[{"StartTime":"2024-05-06 10:00:10",)"
                            R"("EndTime":"2024-05-06 10:01:00"}]})";

// Calls the library's message callback the way the library does: on a thread of its own.
void SendMessage(CPlayThread& worker, unsigned int nType, unsigned int nCode, const char* szText)
{
    const std::string strSession = worker.SessionId();
    std::thread([&worker, strSession, nType, nCode, szText] {
        CPlayThread::RecordMessageHandler(strSession.c_str(), nType, nCode, szText, &worker);
    }).join();
}

void SendData(CPlayThread& worker, unsigned int nType)
{
    char data[4] = {1, 2, 3, 4};
    std::thread([&worker, nType, &data] {
        CPlayThread::RecordDataHandler(nType, data, sizeof(data), &worker);
    }).join();
}

void Drain()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
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

class TestPlayThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        SetModuleProcessEnd([] {});
        LaunchValues::update([](LaunchValues& values) {
            values.Appkey = "unit-app-key";
            values.AccessToken = "unit-access-token";
            values.TrustAccessToken = "unit-trust-token";
        });
        CVideoSdk::instance()->Init("unit-app-key");
        logkit::startCapture();
    }

    void messagesBecomeOperatorTexts_data()
    {
        QTest::addColumn<uint>("nType");
        QTest::addColumn<uint>("nCode");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("code text") << 0u << 0u << QByteArray("UE104") << QStringLiteral("验证码错误");
        QTest::newRow("code text wins")
            << 0u << 502012u << QByteArray("UE102") << QStringLiteral("设备不在线，请检查设备网络连接");
        QTest::newRow("error code") << 0u << 502604u << QByteArray("device offline")
                                    << QStringLiteral("设备不在线");
        QTest::newRow("wrong code") << 0u << 502012u << QByteArray() << QStringLiteral("验证码错误");
        QTest::newRow("unlisted code") << 0u << 100004u << QByteArray() << QStringLiteral("播放异常");
        QTest::newRow("code 0") << 0u << 0u << QByteArray() << QString();
        QTest::newRow("reconnect") << 2u << 0u << QByteArray() << QStringLiteral("重连异常");
        QTest::newRow("abnormal end") << 28u << 0u << QByteArray() << QStringLiteral("回放异常结束");
        QTest::newRow("other type") << 99u << 502012u << QByteArray() << QString();
    }

    void messagesBecomeOperatorTexts()
    {
        QFETCH(uint, nType);
        QFETCH(uint, nCode);
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        auto pWorker = NewWorker();
        QVERIFY(!pWorker->SessionId().empty());
        QSignalSpy spy(pWorker.get(), &CPlayThread::RecordPlayException);
        logkit::clearCapture();
        SendMessage(*pWorker, nType, nCode, text.isNull() ? nullptr : text.constData());
        Drain();
        if (expected.isEmpty()) {
            QCOMPARE(spy.count(), 0);
            return;
        }
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), expected);
        // Every reported failure also stops the library's playback.
        QVERIFY(logkit::captured("stopPlayBackEx before"));
        QCOMPARE(pWorker->RecordNum(), -1);
    }

    void callbacksAreHandledOnTheWorkersThread()
    {
        auto pWorker = NewWorker();
        QThread* pSeen = nullptr;
        connect(
            pWorker.get(), &CPlayThread::RecordStartSignal, this,
            [&pSeen] { pSeen = QThread::currentThread(); }, Qt::DirectConnection);
        SendMessage(*pWorker, OPENSDK_MSG_PLAY_STARTED, 0, nullptr);
        QTRY_VERIFY(pSeen != nullptr);
        QCOMPARE(pSeen, QThread::currentThread());
    }

    void foreignOrMissingSessionsAreIgnored()
    {
        auto pWorker = NewWorker();
        QSignalSpy spy(pWorker.get(), &CPlayThread::RecordPlayException);
        CPlayThread::RecordMessageHandler("another-session", 28, 0, nullptr, pWorker.get());
        CPlayThread::RecordMessageHandler(nullptr, 28, 0, nullptr, pWorker.get());
        CPlayThread::RecordMessageHandler(pWorker->SessionId().c_str(), 28, 0, nullptr, nullptr);
        CPlayThread::RecordDataHandler(OPENSDK_DATA_FRAME, nullptr, 0, nullptr);
        CPlayThread unset(nullptr); // no session: nothing is its
        CPlayThread::RecordMessageHandler("", 28, 0, nullptr, &unset);
        Drain();
        QCOMPARE(spy.count(), 0);
    }

    void firstFrameIsAnnouncedOnceWithDeviceCodeAndAlarm()
    {
        auto pWorker = NewWorker();
        QSignalSpy first(pWorker.get(), &CPlayThread::RealPlayFirstFrameSignal);
        QSignalSpy data(pWorker.get(), &CPlayThread::HasFrameSignal);
        SendData(*pWorker, OPENSDK_DATA_HEADER);
        Drain();
        QCOMPARE(first.count(), 0);
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        SendData(*pWorker, OPENSDK_DATA_FRAME); // before the first is handled: still one
        Drain();
        QCOMPARE(first.count(), 1);
        QCOMPARE(first.at(0).at(0).value<std::string>(), std::string("PV10000011"));
        QCOMPARE(first.at(0).at(2).toString(), QStringLiteral("2024-05-06 10:01:00"));
        QVERIFY(pWorker->IsRecordPlaying());
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        SendData(*pWorker, OPENSDK_DATA_HEADER);
        QTRY_COMPARE(data.count(), 2);
        QCOMPARE(data.at(0).at(1).toBool(), false);
        QCOMPARE(first.count(), 1);
    }

    void noFirstFrameWhilePausedOrAfterAStop()
    {
        auto pWorker = NewWorker();
        QSignalSpy first(pWorker.get(), &CPlayThread::RealPlayFirstFrameSignal);
        QSignalSpy data(pWorker.get(), &CPlayThread::HasFrameSignal);
        pWorker->OnRecordPlayOrPauseSlot(false);
        QCOMPARE(data.count(), 1);
        QCOMPARE(data.at(0).at(1).toBool(), true);
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        Drain();
        QCOMPARE(first.count(), 0);

        pWorker->OnRecordPlayOrPauseSlot(true);
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        pWorker->StopRecordPlay(); // the frame's notice is still queued
        Drain();
        QCOMPARE(first.count(), 0);
        QVERIFY(!pWorker->IsRecordPlaying());
    }

    void stopMessagesEndOnlyAStopThatWasAskedFor()
    {
        auto pWorker = NewWorker();
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        QTRY_VERIFY(pWorker->IsRecordPlaying());
        // A stream replaced by a seek or a new start reports "stopped on request" too.
        SendMessage(*pWorker, OPENSDK_MSG_PLAY_STOPPED, OPENSDK_ERR_PLAY_STOPPED_BY_USER, nullptr);
        Drain();
        QVERIFY(pWorker->IsRecordPlaying());
        // The operator's stop is over when it returns; the library's stop
        // message that follows changes nothing.
        pWorker->StopRecordPlay();
        QVERIFY(!pWorker->IsRecordPlaying());
        QVERIFY(!pWorker->IsPlayRequested());
        QSignalSpy failures(pWorker.get(), &CPlayThread::RecordPlayException);
        SendMessage(*pWorker, OPENSDK_MSG_PLAY_STOPPED, OPENSDK_ERR_PLAY_STOPPED_BY_USER, nullptr);
        Drain();
        QCOMPARE(failures.count(), 0);
    }

    void oddSearchResultsAreDropped()
    {
        auto pWorker = NewWorker();
        QSignalSpy length(pWorker.get(), &CPlayThread::SetRecordSliderLengthSignal);
        QSignalSpy failure(pWorker.get(), &CPlayThread::RecordPlayException);
        pWorker->OnRecordSearchSlot(nullptr);
        pWorker->OnRecordSearchSlot("{\"FileSize\":");
        pWorker->OnRecordSearchSlot("{\"FileList\":[]}");
        SendMessage(*pWorker, OPENSDK_MSG_SEARCH_RESULT, 0, nullptr);
        Drain();
        QCOMPARE(length.count(), 0);
        QCOMPARE(failure.count(), 0);
        // Not asked for (stopped, or never started): no playback from a late answer.
        pWorker->OnRecordSearchSlot(kResult);
        QVERIFY(pWorker->Segments().empty());
        pWorker->OnRecordSearchSlot(R"({"FileSize":0,"FileList":[]})");
        QCOMPARE(failure.count(), 1);
        QCOMPARE(failure.at(0).at(0).toString(), QStringLiteral("该告警消息无录像"));
    }

    void theWindowsSelectionDecides()
    {
        MessageClient w{QString()};
        auto* pWorker = new CPlayThread(&w);
        QCOMPARE(pWorker->parent(), &w);
        pWorker->InitSession();
        pWorker->SetCamInfo("PV1000001", 1);

        // Position tracking for an alarm that is no longer selected stops it.
        SendData(*pWorker, OPENSDK_DATA_FRAME);
        QTRY_VERIFY(pWorker->IsRecordPlaying());
        logkit::clearCapture();
        pWorker->GetPlayTime();
        QVERIFY(logkit::captured("stopPlayBackEx before"));
        QVERIFY(!pWorker->IsPlayRequested());

        std::string strKey;
        QString strAlarm;
        pWorker->SetAlarmTime(0.0, QStringLiteral("alarm text"));
        pWorker->GetCamInfo(strKey, strAlarm);
        QCOMPARE(strKey, std::string("PV10000011"));
        QCOMPARE(strAlarm, QStringLiteral("alarm text"));
    }
};

QTEST_MAIN(TestPlayThread)
#include "tst_playthread.moc"
