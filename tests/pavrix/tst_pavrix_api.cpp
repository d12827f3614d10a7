// The C interface without a cloud, or with one that never answers: the order
// of initialisation, buffers freed twice, per-thread errors, a session freed
// from its own callback, and stop and free bounded in time with nothing after.
#include "PavrixSDK.h"
#include "SdkProbe.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <thread>

using pvxtest::SdkProbe;

namespace {

int startPlay(const SdkProbe& probe)
{
    return OpenSDK_StartPlayBackEx(probe.sessionId.c_str(), nullptr, "DEV001", 1, "ABCDEF",
                                   "2024-05-01 10:00:00", "2024-05-01 10:02:00");
}

// Runs call and says how long it took.
template <typename Call>
qint64 timed(Call call)
{
    QElapsedTimer timer;
    timer.start();
    call();
    return timer.elapsed();
}

} // namespace

class TestPavrixApi : public QObject
{
    Q_OBJECT

private slots:
    void callsBeforeInitFail();
    void buffersAndErrors();
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
    QVERIFY(id == nullptr);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
    // Configuration comes before initialisation in the host's start-up.
    QCOMPARE(OpenSDK_SetConfigInfo(OPENSDK_CFG_LOG_LEVEL, 1), 0);

    QVERIFY(m_mute.listen(QHostAddress::LocalHost, 0));
    qputenv("PAVRIX_CLOUD_URL", "https://127.0.0.1:" + QByteArray::number(m_mute.serverPort()) + "/cloud");
    QCOMPARE(OpenSDK_Init(nullptr), -1);
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    QCOMPARE(OpenSDK_SetAccessToken("token"), 0);
}

void TestPavrixApi::buffersAndErrors()
{
    char* id = nullptr;
    int length = 0;
    QCOMPARE(OpenSDK_AllocSessionEx(nullptr, nullptr, &id, &length), 0);
    QCOMPARE(int(strlen(id)), length);
    const std::string copy(id);
    QCOMPARE(OpenSDK_Data_Free(id), 0);
    // A second free of the same buffer, or of memory the library never gave
    // out, is refused instead of corrupting the heap.
    QCOMPARE(OpenSDK_Data_Free(id), -1);
    char own[8] = {};
    QCOMPARE(OpenSDK_Data_Free(own), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_BAD_PARAMETER));
    QCOMPARE(OpenSDK_FreeSession(copy.c_str()), 0);
    QCOMPARE(OpenSDK_FreeSession(copy.c_str()), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));

    // The last error belongs to the calling thread.
    int otherCode = -1;
    std::thread other([&] {
        OpenSDK_Data_Free(nullptr);
        otherCode = OpenSDK_GetLastErrorCode();
    });
    other.join();
    QCOMPARE(otherCode, int(OPENSDK_ERR_BAD_PARAMETER));
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
}

void TestPavrixApi::sessionFreedFromItsOwnCallback()
{
    // Nothing listens on the cloud's address: playback fails at once.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    qputenv("PAVRIX_CLOUD_URL", "https://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/cloud");
    closed.close();
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    static std::atomic<int> results{-1}; // stop and free, both 0
    SdkProbe probe;
    QVERIFY(probe.open());
    probe.onMessageHook = [](SdkProbe* self, const pvxtest::Message& m) {
        if (m.type == OPENSDK_MSG_PLAY_FAILED)
            results = OpenSDK_StopPlayBackEx(self->sessionId.c_str()) |
                      OpenSDK_FreeSession(self->sessionId.c_str());
    };
    QCOMPARE(startPlay(probe), 0);
    QTRY_COMPARE_WITH_TIMEOUT(results.load(), 0, 10000);
    QCOMPARE(probe.messages().back().code, unsigned(OPENSDK_ERR_NETWORK));
    probe.sessionId.clear(); // freed already
    const int seen = probe.callbacks;
    QTest::qWait(300);
    QCOMPARE(probe.callbacks.load(), seen);
}

void TestPavrixApi::freeAndStopAreBoundedWhenTheCloudIsMute()
{
    qputenv("PAVRIX_CLOUD_URL", "https://127.0.0.1:" + QByteArray::number(m_mute.serverPort()) + "/cloud");
    QCOMPARE(OpenSDK_Init("app-key"), 0);
    SdkProbe stopped;
    QVERIFY(stopped.open());
    QCOMPARE(startPlay(stopped), 0);
    QTest::qWait(200); // connected, waiting for a TLS answer that never comes
    QVERIFY(timed([&] { QCOMPARE(OpenSDK_StopPlayBackEx(stopped.sessionId.c_str()), 0); }) < 3000);
    QCOMPARE(int(stopped.messages().size()), 1);
    QCOMPARE(stopped.messages()[0].type, unsigned(OPENSDK_MSG_PLAY_STOPPED));
    QCOMPARE(stopped.messages()[0].code, unsigned(OPENSDK_ERR_PLAY_STOPPED_BY_USER));

    SdkProbe freed;
    QVERIFY(freed.open());
    QCOMPARE(startPlay(freed), 0);
    QTest::qWait(200);
    QVERIFY(timed([&] { QCOMPARE(freed.release(), 0); }) < 3000);
    QTest::qWait(300);
    QCOMPARE(freed.callbacks.load(), 0); // not even the stop message
}

void TestPavrixApi::finiFreesEverySession()
{
    SdkProbe probe;
    QVERIFY(probe.open());
    QCOMPARE(startPlay(probe), 0);
    QCOMPARE(OpenSDK_FiniLib(), 0);
    QCOMPARE(OpenSDK_PlayBackPause(probe.sessionId.c_str()), -1);
    QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
    QTest::qWait(200);
    QCOMPARE(probe.callbacks.load(), 0);
    probe.sessionId.clear();
}

QTEST_GUILESS_MAIN(TestPavrixApi)
#include "tst_pavrix_api.moc"
