// The C interface without a cloud: argument checks, initialisation order,
// buffers, per-thread errors, and sessions whose cloud is unreachable or mute.
#include "PavrixSDK.h"
#include "SdkProbe.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <thread>

using pvxtest::SdkProbe;

namespace {

const char kStart[] = "2024-05-01 10:00:00";
const char kEnd[] = "2024-05-01 10:02:00";

// An address where nothing listens: a port bound and released at once.
QByteArray closedPortUrl()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return "https://127.0.0.1:" + QByteArray::number(port) + "/cloud";
}

int startPlay(const SdkProbe& probe, void* window = nullptr)
{
    return OpenSDK_StartPlayBackEx(probe.sessionId.c_str(), window, "DEV001", 1, "ABCDEF", kStart, kEnd);
}

} // namespace

class TestPavrixApi : public QObject
{
    Q_OBJECT

private slots:
    void callsBeforeInitFail();
    void initChecksItsArguments();
    void sessionsAndBuffers();
    void unknownSessionsAndBadArgumentsFail();
    void lastErrorBelongsToTheCallingThread();
    void unreachableCloudIsReportedAsMessages();
    void sessionFreedFromItsOwnCallback();
    void freeAndStopAreBoundedWhenTheCloudIsMute();
    void finiFreesEverySession();

private:
    QTcpServer m_mute; // accepts connections and never answers
};

void TestPavrixApi::callsBeforeInitFail()
{
    char* id = nullptr;
    int length = 0;
    QCOMPARE(OpenSDK_AllocSessionEx(nullptr, nullptr, &id, &length), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
    QVERIFY(id == nullptr);
    QCOMPARE(OpenSDK_SetAccessToken("token"), -1);
    char* buffer = nullptr;
    int size = 0;
    QCOMPARE(OpenSDK_DecryptPicture("t", "https://127.0.0.1:1/p.jpg", "DEV", "CODE", &buffer, &size), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
    QCOMPARE(OpenSDK_FiniLib(), -1);
    QVERIFY(QByteArray(OpenSDK_GetLastErrorDesc()).size() > 0);
    STREAM_TIME time{};
    QCOMPARE(OpenSDK_GetOSDTime("s", &time), -1);
    QCOMPARE(OpenSDK_StopPlayBackEx("s"), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));

    // Configuration comes before initialisation in the host's start-up.
    QCOMPARE(OpenSDK_SetConfigInfo(OPENSDK_CFG_P2P_VERSION, 3), 0);
    QCOMPARE(OpenSDK_SetConfigInfo(OPENSDK_CFG_LOG_LEVEL, 1), 0);
    QCOMPARE(OpenSDK_SetConfigInfo(OPENSDK_CFG_STREAM_TRANS, 1), 0);
    QCOMPARE(OpenSDK_GetLastErrorCode(), 0);
    QCOMPARE(OpenSDK_SetConfigInfo(77, 1), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
}

void TestPavrixApi::initChecksItsArguments()
{
    QCOMPARE(OpenSDK_Init(nullptr), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
    QCOMPARE(OpenSDK_Init(""), -1);
    qputenv("PAVRIX_CLOUD_URL", closedPortUrl());
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    QCOMPARE(OpenSDK_SetAccessToken(nullptr), -1);
    QCOMPARE(OpenSDK_SetAccessToken("token"), 0);
}

void TestPavrixApi::sessionsAndBuffers()
{
    char* id = nullptr;
    int length = 0;
    QCOMPARE(OpenSDK_AllocSessionEx(nullptr, nullptr, nullptr, &length), -1);
    QCOMPARE(OpenSDK_AllocSessionEx(nullptr, nullptr, &id, nullptr), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));

    SdkProbe first;
    SdkProbe second;
    QVERIFY(first.open());
    QVERIFY(second.open());
    QVERIFY(!first.sessionId.empty());
    QVERIFY(first.sessionId != second.sessionId);

    QCOMPARE(OpenSDK_AllocSessionEx(nullptr, nullptr, &id, &length), 0);
    QCOMPARE(int(strlen(id)), length);
    const std::string copy(id);
    QCOMPARE(OpenSDK_Data_Free(id), 0);
    // A second free of the same buffer, or of memory the library never gave
    // out, is refused instead of corrupting the heap.
    QCOMPARE(OpenSDK_Data_Free(id), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
    char own[8] = {};
    QCOMPARE(OpenSDK_Data_Free(own), -1);
    QCOMPARE(OpenSDK_Data_Free(nullptr), -1);

    QCOMPARE(OpenSDK_FreeSession(copy.c_str()), 0);
    QCOMPARE(OpenSDK_FreeSession(copy.c_str()), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
    QCOMPARE(first.release(), 0);
    QCOMPARE(second.release(), 0);
}

void TestPavrixApi::unknownSessionsAndBadArgumentsFail()
{
    const char* ghost = "no-such-session";
    STREAM_TIME time{};
    QCOMPARE(OpenSDK_SetDataCallBack(ghost, nullptr, nullptr), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
    QCOMPARE(OpenSDK_StartSearchExtend(ghost, "DEV001", 1, kStart, kEnd, 3), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
    QCOMPARE(OpenSDK_StartPlayBackEx(ghost, nullptr, "DEV001", 1, "C", kStart, kEnd), -1);
    QCOMPARE(OpenSDK_PlayBackPause(ghost), -1);
    QCOMPARE(OpenSDK_PlayBackResume(ghost), -1);
    QCOMPARE(OpenSDK_StopPlayBackEx(ghost), -1);
    QCOMPARE(OpenSDK_GetOSDTime(ghost, &time), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
    QCOMPARE(OpenSDK_FreeSession(nullptr), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));

    SdkProbe probe;
    QVERIFY(probe.open());
    const char* s = probe.sessionId.c_str();
    QCOMPARE(OpenSDK_GetOSDTime(s, nullptr), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
    QCOMPARE(OpenSDK_GetOSDTime(s, &time), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_PLAYING));
    QCOMPARE(OpenSDK_PlayBackPause(s), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_PLAYING));
    QCOMPARE(OpenSDK_StopPlayBackEx(s), 0); // nothing to stop is not an error

    QCOMPARE(OpenSDK_StartSearchExtend(s, nullptr, 1, kStart, kEnd, 3), -1);
    QCOMPARE(OpenSDK_StartSearchExtend(s, "", 1, kStart, kEnd, 3), -1);
    QCOMPARE(OpenSDK_StartSearchExtend(s, "DEV001", -1, kStart, kEnd, 3), -1);
    QCOMPARE(OpenSDK_StartSearchExtend(s, "DEV001", 1, "2024-05-01T10:00:00", kEnd, 3), -1);
    QCOMPARE(OpenSDK_StartSearchExtend(s, "DEV001", 1, kStart, nullptr, 3), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
    QCOMPARE(OpenSDK_StartPlayBackEx(s, nullptr, "DEV001", 1, nullptr, kStart, kEnd), -1);
    QCOMPARE(OpenSDK_StartPlayBackEx(s, nullptr, "DEV001", 1, "C", kStart, "yesterday"), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));

    char* buffer = reinterpret_cast<char*>(1);
    int size = 0;
    QCOMPARE(OpenSDK_DecryptPicture("t", "not an address", "DEV", "CODE", &buffer, &size), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
    QVERIFY(buffer == nullptr);
    QCOMPARE(OpenSDK_DecryptPicture("t", "https://h/p", "DEV", "CODE", nullptr, &size), -1);
    QCOMPARE(OpenSDK_DecryptPicture("t", "https://h/p", "DEV", nullptr, &buffer, &size), -1);
    QCOMPARE(probe.callbackCount(), 0);
}

void TestPavrixApi::lastErrorBelongsToTheCallingThread()
{
    QCOMPARE(OpenSDK_StopPlayBackEx("ghost"), -1);
    int otherCode = -1;
    std::thread other([&] {
        OpenSDK_Data_Free(nullptr);
        otherCode = OpenSDK_GetLastErrorCode();
    });
    other.join();
    QCOMPARE(otherCode, int(OPENSDK_ERR_BAD_PARAMETER));
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
}

void TestPavrixApi::unreachableCloudIsReportedAsMessages()
{
    SdkProbe probe;
    QVERIFY(probe.open());
    QCOMPARE(OpenSDK_StartSearchExtend(probe.sessionId.c_str(), "DEV001", 1, kStart, kEnd, 3), 0);
    const int failed = probe.waitFor(OPENSDK_MSG_SEARCH_FAILED);
    QVERIFY(failed >= 0);
    QCOMPARE(probe.messages()[failed].code, unsigned(OPENSDK_ERR_NETWORK));

    QCOMPARE(startPlay(probe), 0);
    const int playFailed = probe.waitFor(OPENSDK_MSG_PLAY_FAILED);
    QVERIFY(playFailed >= 0);
    QCOMPARE(probe.messages()[playFailed].code, unsigned(OPENSDK_ERR_NETWORK));
    QCOMPARE(probe.waitFor(OPENSDK_MSG_PLAY_STARTED, 0), -1);
    // The playback ended by itself: stopping adds nothing.
    QCOMPARE(OpenSDK_StopPlayBackEx(probe.sessionId.c_str()), 0);
    QCOMPARE(probe.waitFor(OPENSDK_MSG_PLAY_STOPPED, 300), -1);
    QCOMPARE(probe.waitFor(9999, 0), -1);
}

void TestPavrixApi::sessionFreedFromItsOwnCallback()
{
    SdkProbe probe;
    QVERIFY(probe.open());
    std::atomic<int> stopResult{1};
    std::atomic<int> freeResult{1};
    const std::string id = probe.sessionId;
    probe.onMessageHook = [&](const pvxtest::Message& m) {
        if (m.type != OPENSDK_MSG_PLAY_FAILED)
            return;
        stopResult = OpenSDK_StopPlayBackEx(id.c_str());
        freeResult = OpenSDK_FreeSession(id.c_str());
    };
    QCOMPARE(startPlay(probe), 0);
    QTRY_COMPARE_WITH_TIMEOUT(freeResult.load(), 0, 10000);
    QCOMPARE(stopResult.load(), 0);
    probe.sessionId.clear(); // freed already
    const int seen = probe.callbackCount();
    QTest::qWait(300);
    QCOMPARE(probe.callbackCount(), seen);
}

void TestPavrixApi::freeAndStopAreBoundedWhenTheCloudIsMute()
{
    QVERIFY(m_mute.listen(QHostAddress::LocalHost, 0));
    qputenv("PAVRIX_CLOUD_URL", "https://127.0.0.1:" + QByteArray::number(m_mute.serverPort()) + "/cloud");
    QCOMPARE(OpenSDK_Init("app-key"), 0);

    SdkProbe stopped;
    QVERIFY(stopped.open());
    QCOMPARE(startPlay(stopped), 0);
    QTest::qWait(200); // connected, waiting for a TLS answer that never comes
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(OpenSDK_StopPlayBackEx(stopped.sessionId.c_str()), 0);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    const int stop = stopped.waitFor(OPENSDK_MSG_PLAY_STOPPED, 0);
    QVERIFY(stop >= 0);
    QCOMPARE(stopped.messages()[stop].code, unsigned(OPENSDK_ERR_PLAY_STOPPED_BY_USER));
    QCOMPARE(int(stopped.messages().size()), 1);

    SdkProbe freed;
    QVERIFY(freed.open());
    QCOMPARE(startPlay(freed), 0);
    QTest::qWait(200);
    timer.restart();
    QCOMPARE(freed.release(), 0);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QTest::qWait(300);
    QCOMPARE(freed.callbackCount(), 0); // not even the stop message
}

void TestPavrixApi::finiFreesEverySession()
{
    SdkProbe probe;
    QVERIFY(probe.open());
    QCOMPARE(startPlay(probe), 0);
    QCOMPARE(OpenSDK_FiniLib(), 0);
    QCOMPARE(OpenSDK_GetOSDTime(probe.sessionId.c_str(), nullptr), -1);
    QCOMPARE(OpenSDK_PlayBackPause(probe.sessionId.c_str()), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
    QCOMPARE(OpenSDK_FreeSession(probe.sessionId.c_str()), -1);
    char* id = nullptr;
    int length = 0;
    QCOMPARE(OpenSDK_AllocSessionEx(nullptr, nullptr, &id, &length), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
    QTest::qWait(200);
    QCOMPARE(probe.callbackCount(), 0);
    probe.sessionId.clear();
}

QTEST_GUILESS_MAIN(TestPavrixApi)
#include "tst_pavrix_api.moc"
