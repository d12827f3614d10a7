// The library's inner parts that need no cloud: picture decryption, the frame
// stream parser, addresses, cloud replies, the callback gate, and kept-alive
// connections against a small HTTP server in this process.
#include "AbortHandle.h"
#include "CallbackSink.h"
#include "CloudClient.h"
#include "FrameParser.h"
#include "HttpFetcher.h"
#include "PictureDecryptor.h"
#include "PvxeTestEncoder.h"
#include "TimeText.h"
#include "Url.h"

#include <QtTest>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace pavrix;

namespace {

const std::string kSalt = "0123456789abcdef";
const std::string kIv = "fedcba9876543210";

struct SinkProbe
{
    std::atomic<int> messages{0};
    std::atomic<int> data{0};
    std::atomic<bool> dataStarted{false};
    CallbackSink* sink = nullptr;
    bool closeFromInside = false;
    std::atomic<bool> closedInside{false};
};

void probeMessage(const char*, unsigned int, unsigned int, const char*, void* user)
{
    auto* probe = static_cast<SinkProbe*>(user);
    ++probe->messages;
    if (probe->closeFromInside)
        probe->closedInside = probe->sink->close(std::chrono::milliseconds(2000));
}

void slowData(unsigned int, char*, unsigned int, void* user)
{
    auto* probe = static_cast<SinkProbe*>(user);
    probe->dataStarted = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ++probe->data;
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
    std::size_t connections() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_peers.size();
    }
    int mostAtOnce() const { return m_mostAtOnce; }

private:
    void seen(const httplib::Request& req, int inside)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_peers.insert(req.remote_port);
        m_mostAtOnce = std::max(m_mostAtOnce.load(), inside);
    }

    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::set<int> m_peers;
    std::atomic<int> m_inside{0};
    std::atomic<int> m_mostAtOnce{0};
};

} // namespace

class TestPavrixUnits : public QObject
{
    Q_OBJECT

private slots:
    void decryptsWithTheRightCode();
    void wrongCodeIsReportedAsSuch();
    void plainPicturesPassThrough();
    void damagedContainersAreBadReplies();
    void answersSayHowLongPicturesMayBeKept();
    void parsesFramesWhateverTheChunking();
    void rejectsStreamsThatAreNotFrames();
    void parsesAndResolvesAddresses();
    void validatesTimeTexts();
    void readsCloudReplies();
    void closedSinkCallsNothing();
    void closeWaitsForARunningCallback();
    void closeFromInsideACallbackDoesNotDeadlock();
    void connectionsAreKeptBoundedAndExpired();
};

void TestPavrixUnits::decryptsWithTheRightCode()
{
    const std::string jpeg = pvxtest::fakeJpeg(5000);
    std::string out;
    const SdkError error =
        PictureDecryptor::decode(pvxtest::pvxeEncrypt(jpeg, "ABCDEF", kSalt, kIv), "ABCDEF", &out);
    QCOMPARE(error.code, 0);
    QVERIFY(out == jpeg);

    // A picture that fills whole blocks gets a full block of padding.
    const std::string exact = pvxtest::fakeJpeg(4096);
    QCOMPARE(PictureDecryptor::decode(pvxtest::pvxeEncrypt(exact, "c", kSalt, kIv), "c", &out).code, 0);
    QVERIFY(out == exact);

    const std::string png("\x89PNG\r\n\x1A\n rest of a png", 22);
    QCOMPARE(PictureDecryptor::decode(pvxtest::pvxeEncrypt(png, "c", kSalt, kIv), "c", &out).code, 0);
    QVERIFY(out == png);
}

void TestPavrixUnits::wrongCodeIsReportedAsSuch()
{
    const std::string body = pvxtest::pvxeEncrypt(pvxtest::fakeJpeg(3000), "ABCDEF", kSalt, kIv);
    std::string out = "untouched";
    for (const char* code : {"ABCDEG", "", "abcdef", "ABCDEF "})
        QCOMPARE(PictureDecryptor::decode(body, code, &out).code, int(OPENSDK_ERR_PICTURE_CODE));
    QCOMPARE(out, std::string("untouched"));

    // The right key on something that is no picture is still "wrong code".
    const std::string text = pvxtest::pvxeEncrypt("just some text, not a picture", "ABCDEF", kSalt, kIv);
    QCOMPARE(PictureDecryptor::decode(text, "ABCDEF", &out).code, int(OPENSDK_ERR_PICTURE_CODE));
}

void TestPavrixUnits::plainPicturesPassThrough()
{
    const std::string jpeg = pvxtest::fakeJpeg(100);
    std::string out;
    QCOMPARE(PictureDecryptor::decode(jpeg, "any", &out).code, 0);
    QVERIFY(out == jpeg);
    QCOMPARE(PictureDecryptor::decode("<html>not found</html>", "any", &out).code,
             int(OPENSDK_ERR_BAD_REPLY));
}

void TestPavrixUnits::damagedContainersAreBadReplies()
{
    const std::string body = pvxtest::pvxeEncrypt(pvxtest::fakeJpeg(500), "c", kSalt, kIv);
    std::string out;
    QCOMPARE(PictureDecryptor::decode(body.substr(0, 30), "c", &out).code, int(OPENSDK_ERR_BAD_REPLY));
    QCOMPARE(PictureDecryptor::decode(body.substr(0, body.size() - 3), "c", &out).code,
             int(OPENSDK_ERR_BAD_REPLY));
    std::string version2 = body;
    version2[4] = 2;
    QCOMPARE(PictureDecryptor::decode(version2, "c", &out).code, int(OPENSDK_ERR_BAD_REPLY));
    QCOMPARE(PictureDecryptor::decode("PVXE", "c", &out).code, int(OPENSDK_ERR_BAD_REPLY));
}

void TestPavrixUnits::answersSayHowLongPicturesMayBeKept()
{
    using pavrix::PictureDecryptor;
    const std::string date = "Sun, 06 Nov 1994 08:49:37 GMT";
    QCOMPARE(PictureDecryptor::maxAgeOf("", "", ""), -1);
    QCOMPARE(PictureDecryptor::maxAgeOf("private, max-age=600", "", ""), 600);
    QCOMPARE(PictureDecryptor::maxAgeOf("No-Store", "", ""), 0);
    QCOMPARE(PictureDecryptor::maxAgeOf("no-cache, max-age=600", "", ""), 0);
    QCOMPARE(PictureDecryptor::maxAgeOf("max-age=-5", "", ""), 0);
    // Expires counts from the answer's own Date; a bad Expires is the past.
    QCOMPARE(PictureDecryptor::maxAgeOf("", "Sun, 06 Nov 1994 09:49:37 GMT", date), 3600);
    QCOMPARE(PictureDecryptor::maxAgeOf("", "0", date), 0);
    QCOMPARE(PictureDecryptor::maxAgeOf("max-age=60", "Sun, 06 Nov 1994 09:49:37 GMT", date), 60);
}

void TestPavrixUnits::parsesFramesWhateverTheChunking()
{
    StreamFrame picture{StreamFrame::Picture, 1700000000123LL, pvxtest::fakeJpeg(300)};
    StreamFrame empty{StreamFrame::Picture, 1700000000323LL, {}};
    StreamFrame end{StreamFrame::EndOfSpan, 1700000000523LL, {}};
    const std::string wire =
        FrameParser::encode(picture) + FrameParser::encode(empty) + FrameParser::encode(end);

    for (std::size_t chunk :
         {std::size_t(1), std::size_t(5), std::size_t(17), std::size_t(318), wire.size()}) {
        FrameParser parser;
        std::vector<StreamFrame> frames;
        for (std::size_t at = 0; at < wire.size(); at += chunk)
            QVERIFY(parser.feed(wire.data() + at, std::min(chunk, wire.size() - at), &frames));
        QCOMPARE(frames.size(), std::size_t(3));
        QCOMPARE(frames[0].osdMs, picture.osdMs);
        QVERIFY(frames[0].payload == picture.payload);
        QVERIFY(frames[1].payload.empty());
        QCOMPARE(frames[2].kind, StreamFrame::EndOfSpan);
        QCOMPARE(parser.pending(), std::size_t(0));
    }

    FrameParser parser;
    std::vector<StreamFrame> frames;
    QVERIFY(parser.feed(wire.data(), 20, &frames));
    QVERIFY(frames.empty());
    QCOMPARE(parser.pending(), std::size_t(20));
}

void TestPavrixUnits::rejectsStreamsThatAreNotFrames()
{
    std::vector<StreamFrame> frames;
    FrameParser html;
    QVERIFY(!html.feed("<html><body>gateway error</body></html>", 39, &frames));
    QVERIFY(html.failed());
    QVERIFY(!html.feed("PVXF", 4, &frames)); // stays failed

    std::string badKind = FrameParser::encode({StreamFrame::Picture, 0, "x"});
    badKind[4] = 9;
    FrameParser kind;
    QVERIFY(!kind.feed(badKind.data(), badKind.size(), &frames));

    // A length far beyond any picture must not make the parser wait for (or
    // allocate) gigabytes.
    std::string huge = FrameParser::encode({StreamFrame::Picture, 0, ""});
    huge[13] = '\x7f';
    FrameParser big;
    QVERIFY(!big.feed(huge.data(), huge.size(), &frames));
    QVERIFY(frames.empty());

    // Good frames before the damage are still delivered.
    const std::string mixed = FrameParser::encode({StreamFrame::Picture, 1, "a"}) + "garbage-garbage-garbage";
    FrameParser partly;
    QVERIFY(!partly.feed(mixed.data(), mixed.size(), &frames));
    QCOMPARE(frames.size(), std::size_t(1));
}

void TestPavrixUnits::parsesAndResolvesAddresses()
{
    Url url;
    QVERIFY(Url::parse("https://127.0.0.1:18443/cloud", &url));
    QCOMPARE(url.host, std::string("127.0.0.1"));
    QCOMPARE(url.port, 18443);
    QCOMPARE(url.target, std::string("/cloud"));
    QVERIFY(Url::parse("HTTP://Example.org?x=1#frag", &url));
    QCOMPARE(url.scheme, std::string("http"));
    QCOMPARE(url.port, 80);
    QCOMPARE(url.target, std::string("/?x=1"));
    QVERIFY(Url::parse("https://[::1]:8443/p", &url));
    QCOMPARE(url.host, std::string("::1"));
    QCOMPARE(url.schemeHostPort(), std::string("https://[::1]:8443"));

    for (const char* bad :
         {"", "127.0.0.1/x", "ftp://h/x", "https://h:0/", "https://h:70000/", "https://h:8a/",
          "https://user@h/", "https://h/a b", "https:///x", "https://[::1/x"})
        QVERIFY2(!Url::parse(bad, &url), bad);

    Url base;
    QVERIFY(Url::parse("https://pics.local:9443/a/b/pic.jpg?isEncrypted=1&x=2", &base));
    Url next;
    QVERIFY(base.resolve("/c/d.jpg", &next));
    QCOMPARE(next.toString(), std::string("https://pics.local:9443/c/d.jpg"));
    QVERIFY(base.resolve("other.jpg?t=1", &next));
    QCOMPARE(next.toString(), std::string("https://pics.local:9443/a/b/other.jpg?t=1"));
    QVERIFY(base.resolve("//cdn.local/x", &next));
    QCOMPARE(next.toString(), std::string("https://cdn.local:443/x"));
    QVERIFY(!next.sameHost(base));
    QVERIFY(base.resolve("https://PICS.local:1234/y", &next));
    QVERIFY(next.sameHost(base));
    QVERIFY(!next.sameOrigin(base));
    QVERIFY(!base.resolve("", &next));

    QCOMPARE(Url::encodeQueryValue("2024-05-01 10:00:00&a=b"),
             std::string("2024-05-01%2010%3A00%3A00%26a%3Db"));
}

void TestPavrixUnits::validatesTimeTexts()
{
    QVERIFY(TimeText::isValid("2024-02-29 23:59:59"));
    for (const char* bad :
         {"", "2024-02-29", "2024-02-29T10:00:00", "2024-13-01 10:00:00", "2024-00-10 10:00:00",
          "2024-01-01 24:00:00", "2024-01-01 10:60:00", "2024-01-01 10:00:0x", "2024-01-01 10:00:00 "})
        QVERIFY2(!TimeText::isValid(bad), bad);

    // Local calendar fields of an instant, compared with Qt's own conversion.
    const qint64 ms = 1714550400000LL + 3723456; // some time on 2024-05-01 (UTC)
    STREAM_TIME t{};
    TimeText::toLocalFields(ms, &t);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    QCOMPARE(t.iYear, local.date().year());
    QCOMPARE(t.iMonth, local.date().month());
    QCOMPARE(t.iDay, local.date().day());
    QCOMPARE(t.iHour, local.time().hour());
    QCOMPARE(t.iMinute, local.time().minute());
    QCOMPARE(t.iSecond, local.time().second());
}

void TestPavrixUnits::readsCloudReplies()
{
    std::vector<RecordSpan> spans;
    QVERIFY(CloudClient::parseRecords(
        R"({"code":0,"records":[{"start":"2024-05-01 10:00:00","end":"2024-05-01 10:00:40"},)"
        R"({"start":"2024-05-01 10:01:00","end":"2024-05-01 10:02:00"}]})",
        &spans));
    QCOMPARE(spans.size(), std::size_t(2));
    QCOMPARE(CloudClient::fileListJson(spans),
             std::string(R"({"FileSize":2,"FileList":[{"StartTime":"2024-05-01 10:00:00","EndTime":)"
                         R"("2024-05-01 10:00:40"},{"StartTime":"2024-05-01 10:01:00","EndTime":)"
                         R"("2024-05-01 10:02:00"}]})"));
    QVERIFY(CloudClient::parseRecords(R"({"code":0,"records":[]})", &spans));
    QCOMPARE(CloudClient::fileListJson(spans), std::string(R"({"FileSize":0,"FileList":[]})"));

    // A time that would break the JSON handed to the host is refused.
    QVERIFY(!CloudClient::parseRecords(
        "{\"records\":[{\"start\":\"10:00\\\"}\",\"end\":\"2024-05-01 10:00:40\"}]}", &spans));
    QVERIFY(!CloudClient::parseRecords("not json", &spans));
    QVERIFY(!CloudClient::parseRecords(R"({"code":0})", &spans));

    HttpResponse offline;
    offline.status = 503;
    offline.body = R"({"code":502604,"msg":"device offline"})";
    QCOMPARE(CloudClient::replyError(offline).code, int(OPENSDK_ERR_DEVICE_OFFLINE));
    HttpResponse bare;
    bare.status = 401;
    bare.body = "<html>";
    QCOMPARE(CloudClient::replyError(bare).code, int(OPENSDK_ERR_ACCESS_TOKEN));
    bare.status = 500;
    QCOMPARE(CloudClient::replyError(bare).code, int(OPENSDK_ERR_BAD_REPLY));
    HttpResponse lost;
    lost.failure = HttpResponse::Failure::Network;
    QCOMPARE(CloudClient::replyError(lost).code, int(OPENSDK_ERR_NETWORK));
}

void TestPavrixUnits::closedSinkCallsNothing()
{
    SinkProbe probe;
    CallbackSink sink("s1", probeMessage, &probe);
    sink.message(3, 0);
    QCOMPARE(probe.messages.load(), 1);
    sink.data(1, nullptr, 0); // no data callback installed: nothing happens
    QVERIFY(sink.close(std::chrono::milliseconds(100)));
    sink.message(4, 0);
    QCOMPARE(probe.messages.load(), 1);
}

void TestPavrixUnits::closeWaitsForARunningCallback()
{
    SinkProbe probe;
    CallbackSink sink("s2", probeMessage, &probe);
    sink.setDataCallback(slowData, &probe);
    std::thread caller([&] { sink.data(1, nullptr, 0); });
    QTRY_VERIFY_WITH_TIMEOUT(probe.dataStarted, 5000);
    QVERIFY(sink.close(std::chrono::milliseconds(5000)));
    QCOMPARE(probe.data.load(), 1); // close returned only after the callback had finished
    caller.join();
}

void TestPavrixUnits::closeFromInsideACallbackDoesNotDeadlock()
{
    SinkProbe probe;
    CallbackSink sink("s3", probeMessage, &probe);
    probe.sink = &sink;
    probe.closeFromInside = true;
    std::thread caller([&] { sink.message(5, 0); });
    caller.join();
    QVERIFY(probe.closedInside);
    sink.message(4, 0);
    QCOMPARE(probe.messages.load(), 1);
}

void TestPavrixUnits::connectionsAreKeptBoundedAndExpired()
{
    HttpOptions options;
    {
        // One after another: one connection carries them all.
        CountingServer server;
        HttpFetcher fetcher(TlsSettings{});
        for (int i = 0; i < 5; ++i)
            QCOMPARE(fetcher.get(server.url("/"), options).body, std::string("ok"));
        QCOMPARE(server.connections(), std::size_t(1));
        // A stream has a connection of its own, closed afterwards.
        AbortHandle abort;
        HttpResponse streamed = fetcher.stream(
            server.url("/"), options, abort, [](int) { return true; },
            [](const char*, std::size_t) { return true; });
        QCOMPARE(streamed.status, 200);
        QCOMPARE(server.connections(), std::size_t(2));
    }
    {
        // Six at once with two allowed: two connections, all six answered.
        CountingServer server;
        HttpFetcher fetcher(TlsSettings{}, {2, std::chrono::milliseconds(30000)});
        std::atomic<int> answered{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < 6; ++i) {
            callers.emplace_back([&] {
                if (fetcher.get(server.url("/slow"), options).body == "slow")
                    ++answered;
            });
        }
        for (std::thread& caller : callers)
            caller.join();
        QCOMPARE(answered.load(), 6);
        QCOMPARE(server.mostAtOnce(), 2);
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
