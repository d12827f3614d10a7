// The library without a cloud: picture decryption (of what the simulator's
// cipher writes), how long answers may be kept, the frame stream parser, the
// callback gate, kept-alive connections against a small HTTP server here; and
// its C interface with no cloud or a mute one: buffers freed twice, per-thread
// errors, a session freed from its own callback, stop, free and fini bounded.
#include "AbortHandle.h"
#include "CallbackSink.h"
#include "CloudClient.h"
#include "CodeCipher.h"
#include "FrameParser.h"
#include "HttpFetcher.h"
#include "PictureDecryptor.h"
#include "SdkProbe.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <httplib.h>

#include <atomic>
#include <set>
#include <thread>

using namespace pavrix;
using pvxtest::SdkProbe;

namespace {

// A plain HTTP server on loopback that counts the connections its requests
// came over. Answers take 60 ms, so that callers at once overlap.
struct CountingServer
{
    CountingServer()
    {
        server.set_keep_alive_max_count(1000);
        server.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                peers.insert(req.remote_port);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            res.set_content("ok", "text/plain");
        });
        Url::parse("http://127.0.0.1:" + std::to_string(server.bind_to_any_port("127.0.0.1")) + "/", &url);
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~CountingServer()
    {
        server.stop();
        thread.join();
    }
    std::size_t connections()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return peers.size();
    }

    httplib::Server server;
    Url url;
    std::thread thread;
    std::mutex mutex;
    std::set<int> peers;
};

void initWithCloudAt(quint16 port)
{
    qputenv("PAVRIX_CLOUD_URL", "https://127.0.0.1:" + QByteArray::number(port) + "/cloud");
    QCOMPARE(OpenSDK_Init("app-key"), 0);
}

int startPlay(const SdkProbe& probe)
{
    return OpenSDK_StartPlayBackEx(probe.sessionId.c_str(), nullptr, "DEV001", 1, "ABCDEF",
                                   "2024-05-01 10:00:00", "2024-05-01 10:02:00");
}

} // namespace

class TestPavrixUnits : public QObject
{
    Q_OBJECT

private slots:
    void decryption_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("expected"); // the picture, or empty
        QTest::addColumn<int>("error");
        const auto row = [](const char* name, const std::string& body, const char* code,
                            const std::string& picture, int error) {
            QTest::newRow(name) << QByteArray::fromStdString(body) << QByteArray(code)
                                << QByteArray::fromStdString(picture) << error;
        };
        const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(4996, 'j');
        const std::string exact = jpeg.substr(0, 4096), png("\x89PNG\r\n\x1A\n rest", 14);
        const std::string body = CodeCipher::encryptPicture(jpeg, "ABCDEF");
        const int wrong = OPENSDK_ERR_PICTURE_CODE, bad = OPENSDK_ERR_BAD_REPLY;
        row("jpeg", body, "ABCDEF", jpeg, 0);
        row("whole blocks", CodeCipher::encryptPicture(exact, "c"), "c", exact, 0);
        row("png", CodeCipher::encryptPicture(png, "c"), "c", png, 0);
        row("plain passes", jpeg, "any", jpeg, 0);
        row("code in lower case", body, "abcdef", "", wrong);
        row("no picture inside", CodeCipher::encryptPicture("some text", "c"), "c", "", wrong);
        row("html", "<html>not found</html>", "c", "", bad);
        row("cut in a block", body.substr(0, body.size() - 3), "ABCDEF", "", bad);
        row("version 2", std::string(body).replace(4, 1, "\x02"), "ABCDEF", "", bad);
    }

    void decryption()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, expected);
        QFETCH(int, error);
        std::string out = "untouched";
        QCOMPARE(PictureDecryptor::decode(body.toStdString(), code.toStdString(), &out).code, error);
        QCOMPARE(QByteArray::fromStdString(out), error ? QByteArray("untouched") : expected);
    }

    void answersSayHowLongPicturesMayBeKept()
    {
        const auto age = &PictureDecryptor::maxAgeOf;
        const std::string date = "Sun, 06 Nov 1994 08:49:37 GMT", hourLater = "Sun, 06 Nov 1994 09:49:37 GMT";
        QCOMPARE(age("", "", ""), -1);
        QCOMPARE(age("private, max-age=600", "", ""), 600);
        QCOMPARE(age("No-Store", "", ""), 0);
        QCOMPARE(age("no-cache, max-age=600", "", ""), 0);
        QCOMPARE(age("max-age=-5", "", ""), 0);
        // Expires counts from the answer's own Date; a bad Expires is the past.
        QCOMPARE(age("", hourLater, date), 3600);
        QCOMPARE(age("", "0", date), 0);
        QCOMPARE(age("max-age=60", hourLater, date), 60);
    }

    void streamsAndRecordsThatAreMalformedFail()
    {
        // A length far beyond any picture must not make the parser wait for (or
        // allocate) gigabytes; good frames before the damage are still delivered.
        std::string huge = FrameParser::encode({StreamFrame::Picture, 0, ""});
        huge[13] = '\x7f';
        for (const std::string& wire :
             {std::string("<html><body>gateway error</body></html>"), huge,
              FrameParser::encode({StreamFrame::Picture, 1, "a"}) + "garbage-garbage-garbage"}) {
            FrameParser parser;
            std::vector<StreamFrame> frames;
            QVERIFY(!parser.feed(wire.data(), wire.size(), &frames));
            QVERIFY(parser.failed());
            QCOMPARE(frames.size(), std::size_t(wire == huge || wire[0] == '<' ? 0 : 1));
        }
        // A time that would break the JSON handed to the host is refused.
        std::vector<RecordSpan> spans;
        QVERIFY(!CloudClient::parseRecords(
            "{\"records\":[{\"start\":\"10:00\\\"}\",\"end\":\"2024-05-01 10:00:40\"}]}", &spans));
    }

    // A close from inside a callback: sessionFreedFromItsOwnCallback.
    void closeWaitsForARunningCallback()
    {
        std::atomic<int> steps{0}; // 1: the callback runs, 2: it has finished
        CallbackSink slow("s1", nullptr, &steps);
        slow.setDataCallback(
            [](unsigned int, char*, unsigned int, void* user) {
                ++*static_cast<std::atomic<int>*>(user);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                ++*static_cast<std::atomic<int>*>(user);
            },
            &steps);
        std::thread caller([&] { slow.data(1, nullptr, 0); });
        QTRY_VERIFY_WITH_TIMEOUT(steps >= 1, 5000);
        QVERIFY(slow.close(std::chrono::milliseconds(5000)));
        QCOMPARE(steps.load(), 2); // close returned only after the callback had finished
        caller.join();
        slow.data(1, nullptr, 0);
        QCOMPARE(steps.load(), 2); // and nothing runs after it
    }

    void connectionsAreKeptBoundedAndExpired()
    {
        HttpOptions options;
        {
            // One after another: one connection carries them all; a stream has its own.
            CountingServer server;
            HttpFetcher fetcher(TlsSettings{});
            for (int i = 0; i < 5; ++i)
                QCOMPARE(fetcher.get(server.url, options).body, std::string("ok"));
            QCOMPARE(server.connections(), std::size_t(1));
            AbortHandle abort;
            const auto any = [](auto...) { return true; };
            QCOMPARE(fetcher.stream(server.url, options, abort, any, any).status, 200);
            QCOMPARE(server.connections(), std::size_t(2));
        }
        {
            // Six at once with two allowed: two connections (one request each at a
            // time), all six answered.
            CountingServer server;
            HttpFetcher fetcher(TlsSettings{}, {2, std::chrono::milliseconds(30000)});
            std::atomic<int> answered{0};
            std::vector<std::thread> callers;
            for (int i = 0; i < 6; ++i)
                callers.emplace_back([&] { answered += fetcher.get(server.url, options).body == "ok"; });
            for (std::thread& caller : callers)
                caller.join();
            QCOMPARE(answered.load(), 6);
            QCOMPARE(server.connections(), std::size_t(2));
        }
        {
            // Expired while idle: each request opens a new one.
            CountingServer server;
            HttpFetcher fetcher(TlsSettings{}, {6, std::chrono::milliseconds(0)});
            for (int i = 0; i < 3; ++i)
                QCOMPARE(fetcher.get(server.url, options).status, 200);
            QCOMPARE(server.connections(), std::size_t(3));
        }
    }

    void buffersAndErrors()
    {
        QCOMPARE(OpenSDK_SetConfigInfo(OPENSDK_CFG_LOG_LEVEL, 1), 0); // before Init, as the host does
        QCOMPARE(OpenSDK_Init(nullptr), -1);
        initWithCloudAt(0);
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
        std::thread([&] {
            OpenSDK_Data_Free(nullptr);
            otherCode = OpenSDK_GetLastErrorCode();
        }).join();
        QCOMPARE(otherCode, int(OPENSDK_ERR_BAD_PARAMETER));
        QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NO_SESSION));
    }

    void sessionFreedFromItsOwnCallback()
    {
        // Nothing listens on the cloud's address: playback fails at once.
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const quint16 port = closed.serverPort();
        closed.close();
        initWithCloudAt(port);
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
    }

    void stopFreeAndFiniAreBoundedWhenTheCloudIsMute()
    {
        QVERIFY(m_mute.listen(QHostAddress::LocalHost, 0));
        initWithCloudAt(m_mute.serverPort());
        SdkProbe stopped, freed, finished;
        QVERIFY(stopped.open() && freed.open() && finished.open());
        QCOMPARE(startPlay(stopped) | startPlay(freed) | startPlay(finished), 0);
        int connected = 0; // all waiting for a TLS answer that never comes
        QTRY_COMPARE(connected += m_mute.nextPendingConnection() != nullptr, 3);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(OpenSDK_StopPlayBackEx(stopped.sessionId.c_str()), 0);
        QCOMPARE(freed.release(), 0);
        QCOMPARE(OpenSDK_FiniLib(), 0); // frees every session
        QVERIFY(timer.elapsed() < 9000);
        QCOMPARE(int(stopped.messages().size()), 1);
        QCOMPARE(stopped.messages()[0].type, unsigned(OPENSDK_MSG_PLAY_STOPPED));
        QCOMPARE(stopped.messages()[0].code, unsigned(OPENSDK_ERR_PLAY_STOPPED_BY_USER));
        QCOMPARE(freed.callbacks.load() + finished.callbacks.load(), 0); // not even a stop message
        QCOMPARE(OpenSDK_PlayBackPause(finished.sessionId.c_str()), -1);
        QCOMPARE(OpenSDK_GetLastErrorCode(), int(OPENSDK_ERR_NOT_INITIALISED));
        stopped.sessionId.clear();
        finished.sessionId.clear();
    }

private:
    QTcpServer m_mute; // accepts connections and never answers
};

QTEST_GUILESS_MAIN(TestPavrixUnits)
#include "tst_pavrix_units.moc"
