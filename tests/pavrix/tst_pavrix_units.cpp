// The library's inner parts that need no cloud: picture decryption, how long
// answers may be kept, the frame stream parser, cloud replies, the callback
// gate, and kept-alive connections against a small HTTP server here.
#include "AbortHandle.h"
#include "CallbackSink.h"
#include "CloudClient.h"
#include "FrameParser.h"
#include "HttpFetcher.h"
#include "PictureDecryptor.h"
#include "PvxeTestEncoder.h"

#include <QtTest>

#include <httplib.h>

#include <atomic>
#include <set>
#include <thread>

using namespace pavrix;

namespace {

std::string fakeJpeg(std::size_t size)
{
    std::string jpeg("\xFF\xD8\xFF\xE0", 4);
    for (std::size_t i = jpeg.size(); i < size; ++i)
        jpeg += static_cast<char>(i * 7);
    return jpeg;
}

// A plain HTTP server on loopback that counts the connections its requests came over.
class CountingServer
{
public:
    CountingServer()
    {
        m_server.set_keep_alive_max_count(1000);
        m_server.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
            const int now = ++m_inside;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            seen(req, now);
            --m_inside;
            res.set_content("slow", "text/plain");
        });
        m_server.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
            seen(req, 0);
            res.set_content("ok", "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~CountingServer()
    {
        m_server.stop();
        m_thread.join();
    }
    Url url(const std::string& path) const
    {
        Url url;
        Url::parse("http://127.0.0.1:" + std::to_string(m_port) + path, &url);
        return url;
    }
    std::size_t connections()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_peers.size();
    }
    std::atomic<int> mostAtOnce{0};

private:
    void seen(const httplib::Request& req, int inside)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_peers.insert(req.remote_port);
        mostAtOnce = std::max(mostAtOnce.load(), inside);
    }

    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::set<int> m_peers;
    std::atomic<int> m_inside{0};
};

} // namespace

class TestPavrixUnits : public QObject
{
    Q_OBJECT

private slots:
    void decryption_data();
    void decryption();
    void answersSayHowLongPicturesMayBeKept();
    void streamsThatAreNotFramesFail();
    void cloudReplies();
    void closeWaitsForARunningCallbackAndMayComeFromOne();
    void connectionsAreKeptBoundedAndExpired();
};

void TestPavrixUnits::decryption_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("expected"); // the picture, or empty
    QTest::addColumn<int>("error");
    const auto bytes = [](const std::string& s) { return QByteArray::fromStdString(s); };
    const std::string jpeg = fakeJpeg(5000), exact = fakeJpeg(4096), png("\x89PNG\r\n\x1A\n rest", 14);
    const std::string body = pvxtest::pvxeEncrypt(jpeg, "ABCDEF");
    QTest::newRow("jpeg") << bytes(body) << QByteArray("ABCDEF") << bytes(jpeg) << 0;
    QTest::newRow("whole blocks") << bytes(pvxtest::pvxeEncrypt(exact, "c")) << QByteArray("c")
                                  << bytes(exact) << 0;
    QTest::newRow("png") << bytes(pvxtest::pvxeEncrypt(png, "c")) << QByteArray("c") << bytes(png) << 0;
    QTest::newRow("plain passes") << bytes(jpeg) << QByteArray("any") << bytes(jpeg) << 0;
    const int wrong = OPENSDK_ERR_PICTURE_CODE, bad = OPENSDK_ERR_BAD_REPLY;
    for (const char* code : {"ABCDEG", "abcdef"})
        QTest::addRow("code '%s'", code) << bytes(body) << QByteArray(code) << QByteArray() << wrong;
    QTest::newRow("no picture inside")
        << bytes(pvxtest::pvxeEncrypt("some text", "c")) << QByteArray("c") << QByteArray() << wrong;
    QTest::newRow("html") << QByteArray("<html>not found</html>") << QByteArray("c") << QByteArray() << bad;
    QTest::newRow("cut in the header")
        << bytes(body.substr(0, 30)) << QByteArray("ABCDEF") << QByteArray() << bad;
    QTest::newRow("cut in a block") << bytes(body.substr(0, body.size() - 3)) << QByteArray("ABCDEF")
                                    << QByteArray() << bad;
    QTest::newRow("version 2") << bytes(body).replace(4, 1, "\x02") << QByteArray("ABCDEF") << QByteArray()
                               << bad;
}

void TestPavrixUnits::decryption()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, expected);
    QFETCH(int, error);
    std::string out = "untouched";
    QCOMPARE(PictureDecryptor::decode(body.toStdString(), code.toStdString(), &out).code, error);
    QCOMPARE(QByteArray::fromStdString(out), error ? QByteArray("untouched") : expected);
}

void TestPavrixUnits::answersSayHowLongPicturesMayBeKept()
{
    const std::string date = "Sun, 06 Nov 1994 08:49:37 GMT", hourLater = "Sun, 06 Nov 1994 09:49:37 GMT";
    QCOMPARE(PictureDecryptor::maxAgeOf("", "", ""), -1);
    QCOMPARE(PictureDecryptor::maxAgeOf("private, max-age=600", "", ""), 600);
    QCOMPARE(PictureDecryptor::maxAgeOf("No-Store", "", ""), 0);
    QCOMPARE(PictureDecryptor::maxAgeOf("no-cache, max-age=600", "", ""), 0);
    QCOMPARE(PictureDecryptor::maxAgeOf("max-age=-5", "", ""), 0);
    // Expires counts from the answer's own Date; a bad Expires is the past.
    QCOMPARE(PictureDecryptor::maxAgeOf("", hourLater, date), 3600);
    QCOMPARE(PictureDecryptor::maxAgeOf("", "0", date), 0);
    QCOMPARE(PictureDecryptor::maxAgeOf("max-age=60", hourLater, date), 60);
}

void TestPavrixUnits::streamsThatAreNotFramesFail()
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
}

void TestPavrixUnits::cloudReplies()
{
    // A time that would break the JSON handed to the host is refused.
    std::vector<RecordSpan> spans;
    const std::string injected = "{\"records\":[{\"start\":\"10:00\\\"}\",\"end\":\"2024-05-01 10:00:40\"}]}";
    QVERIFY(!CloudClient::parseRecords(injected, &spans));
    HttpResponse reply;
    reply.status = 503;
    reply.body = R"({"code":502604,"msg":"device offline"})";
    QCOMPARE(CloudClient::replyError(reply).code, int(OPENSDK_ERR_DEVICE_OFFLINE));
    reply.status = 401;
    reply.body = "<html>";
    QCOMPARE(CloudClient::replyError(reply).code, int(OPENSDK_ERR_ACCESS_TOKEN));
    reply.failure = HttpResponse::Failure::Network;
    QCOMPARE(CloudClient::replyError(reply).code, int(OPENSDK_ERR_NETWORK));
}

void TestPavrixUnits::closeWaitsForARunningCallbackAndMayComeFromOne()
{
    struct Probe
    {
        std::atomic<int> calls{0};
        std::atomic<bool> started{false};
        CallbackSink* sink = nullptr;
        std::atomic<bool> closedInside{false};
    } probe;
    const auto slowData = [](unsigned int, char*, unsigned int, void* user) {
        static_cast<Probe*>(user)->started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ++static_cast<Probe*>(user)->calls;
    };
    CallbackSink slow("s1", nullptr, &probe);
    slow.setDataCallback(slowData, &probe);
    std::thread caller([&] { slow.data(1, nullptr, 0); });
    QTRY_VERIFY_WITH_TIMEOUT(probe.started, 5000);
    QVERIFY(slow.close(std::chrono::milliseconds(5000)));
    QCOMPARE(probe.calls.load(), 1); // close returned only after the callback had finished
    caller.join();
    slow.data(1, nullptr, 0);
    QCOMPARE(probe.calls.load(), 1); // and nothing runs after it

    const auto closing = [](const char*, unsigned int, unsigned int, const char*, void* user) {
        auto* self = static_cast<Probe*>(user);
        ++self->calls;
        self->closedInside = self->sink->close(std::chrono::milliseconds(2000));
    };
    CallbackSink inside("s2", closing, &probe);
    probe.sink = &inside;
    std::thread([&] { inside.message(5, 0); }).join();
    QVERIFY(probe.closedInside);
}

void TestPavrixUnits::connectionsAreKeptBoundedAndExpired()
{
    HttpOptions options;
    {
        // One after another: one connection carries them all; a stream has its own.
        CountingServer server;
        HttpFetcher fetcher(TlsSettings{});
        for (int i = 0; i < 5; ++i)
            QCOMPARE(fetcher.get(server.url("/"), options).body, std::string("ok"));
        QCOMPARE(server.connections(), std::size_t(1));
        AbortHandle abort;
        const auto any = [](auto...) { return true; };
        QCOMPARE(fetcher.stream(server.url("/"), options, abort, any, any).status, 200);
        QCOMPARE(server.connections(), std::size_t(2));
    }
    {
        // Six at once with two allowed: two connections, all six answered.
        CountingServer server;
        HttpFetcher fetcher(TlsSettings{}, {2, std::chrono::milliseconds(30000)});
        std::atomic<int> answered{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < 6; ++i)
            callers.emplace_back(
                [&] { answered += fetcher.get(server.url("/slow"), options).body == "slow"; });
        for (std::thread& caller : callers)
            caller.join();
        QCOMPARE(answered.load(), 6);
        QCOMPARE(server.mostAtOnce.load(), 2);
        QCOMPARE(server.connections(), std::size_t(2));
    }
    {
        // Expired while idle: each request opens a new one.
        CountingServer server;
        HttpFetcher fetcher(TlsSettings{}, {6, std::chrono::milliseconds(0)});
        for (int i = 0; i < 3; ++i)
            QCOMPARE(fetcher.get(server.url("/"), options).status, 200);
        QCOMPARE(server.connections(), std::size_t(3));
    }
}

QTEST_GUILESS_MAIN(TestPavrixUnits)
#include "tst_pavrix_units.moc"
