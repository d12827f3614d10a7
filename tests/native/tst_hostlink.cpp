// The module's side of the host link against a real demo host process, and
// against a fake host that sends garbage.
#include "FakeHost.h"
#include "HostProcess.h"
#include "logkit/LogKit.h"
#include "native/CHostLink.h"

#include <QDataStream>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray rawFrame(quint32 magic, quint16 type, quint32 seq, const QByteArray& payload)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << quint32(12 + payload.size()) << magic << quint16(1) << type << seq;
    stream.writeRawData(payload.constData(), payload.size());
    return bytes;
}

// The record points into bytes: keep them alive while it is used.
COPYDATASTRUCT copyData(const QByteArray& bytes)
{
    return COPYDATASTRUCT{12, quint32(bytes.size()), bytes.constData()};
}
COPYDATASTRUCT copyData(QByteArray&&) = delete;

} // namespace

class TestHostLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void isWindowTellsLiveFromDeadAndZero();
    void sendMessageReturnsTheHostsResult();
    void closeSequenceArrivesInOrder();
    void largeCopyDataArrivesWhole();
    void postedMessagesArriveWithoutAnAck();
    void windowRectComesFromTheHost();
    void commandsArriveAsSignalsInOrder();
    void commandsDuringASendAreDeliveredAfterIt();
    void hostGoingAwayIsReportedAndSendsFail();
    void offThreadPostIsQueuedAndSendIsRefused();
    void processWideFunctionsReachTheHost();
    void headlessHostRejectsMalformedCommands();

    void garbageFramesAreDroppedAndTheLinkGoesOn();
    void impossibleLengthClosesTheLink();
    void silentHostTimesOut();
    void hostHangingUpDuringASendFailsIt();

private:
    std::unique_ptr<HostProcess> m_host;
    std::unique_ptr<CHostLink> m_link;
};

void TestHostLink::init()
{
    logkit::startCapture();
    logkit::clearCapture();
    m_link = std::make_unique<CHostLink>();
    m_host = std::make_unique<HostProcess>();
    QVERIFY(m_host->start());
}

void TestHostLink::cleanup()
{
    m_link.reset();
    m_host.reset();
    logkit::stopCapture();
}

void TestHostLink::isWindowTellsLiveFromDeadAndZero()
{
    QVERIFY(m_link->isWindow(m_host->handle()));
    QVERIFY(m_host->waitForLine(QStringLiteral("CONNECTED")) >= 0);
    QVERIFY(!m_link->isWindow(0));
    QVERIFY(!m_link->isWindow(HostProcess::freshHandle())); // nobody listens there
    QVERIFY(!m_link->isWindow(-1));

    // Asking again reuses the connection instead of opening another one.
    QVERIFY(m_link->isWindow(m_host->handle()));
    QVERIFY(m_host->command(QStringLiteral("ackresult 1")));
    QCOMPARE(m_host->lines().filter(QRegularExpression(QStringLiteral("^CONNECTED$"))).size(), 1);
}

void TestHostLink::sendMessageReturnsTheHostsResult()
{
    QVERIFY(m_host->command(QStringLiteral("ackresult 7")));
    QCOMPARE(m_link->sendMessage(m_host->handle(), 2052, 10, 1), LRESULT(7));
    QVERIFY(m_host->waitForLine(QStringLiteral("MSG 2052 w=10 l=1 sent")) >= 0);

    QVERIFY(m_host->command(QStringLiteral("ackresult -3")));
    QCOMPARE(m_link->sendMessage(m_host->handle(), 2059, 0, 0), LRESULT(-3));

    // No host at all: nothing to wait for, the result is 0.
    QCOMPARE(m_link->sendMessage(HostProcess::freshHandle(), 2044, 3, 0), LRESULT(0));
    QVERIFY(logkit::captured("not reachable", 5));
}

void TestHostLink::closeSequenceArrivesInOrder()
{
    const HWND hWnd = m_host->handle();
    const QByteArray token("tok-A");
    const QByteArray refresh("ref\\B\x01");
    const COPYDATASTRUCT first = copyData(token);
    const COPYDATASTRUCT second = copyData(refresh);
    QCOMPARE(m_link->sendCopyData(hWnd, 0, first), LRESULT(1));
    // The window-system spelling: WM_COPYDATA with the record's address.
    QCOMPARE(m_link->sendMessage(hWnd, WM_COPYDATA, 1, reinterpret_cast<LPARAM>(&second)), LRESULT(1));
    QCOMPARE(m_link->sendMessage(hWnd, 2044, 3, 0), LRESULT(1));

    const int a = m_host->waitForLine(QStringLiteral("COPYDATA dwData=12 w=0 data=tok-A"));
    const int b = m_host->waitForLine(QStringLiteral("COPYDATA dwData=12 w=1 data=ref\\\\B\\x01"));
    const int c = m_host->waitForLine(QStringLiteral("MSG 2044 w=3 l=0 sent"));
    QVERIFY(a >= 0 && b >= 0 && c >= 0);
    QVERIFY(a < b);
    QVERIFY(b < c);
    QCOMPARE(m_host->lines().filter(QStringLiteral("COPYDATA")).size(), 2);
}

void TestHostLink::largeCopyDataArrivesWhole()
{
    const QByteArray big(300 * 1024, 'q');
    QCOMPARE(m_link->sendCopyData(m_host->handle(), 0, copyData(big)), LRESULT(1));
    const int index = m_host->waitForLine(QStringLiteral("COPYDATA dwData=12 w=0 data=q"));
    QVERIFY(index >= 0);
    QCOMPARE(m_host->lines().at(index).size(),
             QStringLiteral("COPYDATA dwData=12 w=0 data=").size() + big.size());

    // A record that claims bytes but has no buffer is refused, not read.
    const COPYDATASTRUCT broken{12, 10, nullptr};
    QCOMPARE(m_link->sendCopyData(m_host->handle(), 0, broken), LRESULT(0));
}

void TestHostLink::postedMessagesArriveWithoutAnAck()
{
    QVERIFY(m_link->postMessage(m_host->handle(), 2054, 3, 17));
    QVERIFY(m_host->waitForLine(QStringLiteral("MSG 2054 w=3 l=17 posted")) >= 0);

    QVERIFY(m_link->postMessageWithData(m_host->handle(), 8591, 0, 0, "AIMSG body,with,commas"));
    QVERIFY(m_host->waitForLine(QStringLiteral("MSG 8591 w=0 l=0 posted data=AIMSG body,with,commas")) >= 0);

    QVERIFY(!m_link->postMessage(HostProcess::freshHandle(), 2054, 3, 1));
}

void TestHostLink::windowRectComesFromTheHost()
{
    QVERIFY(m_host->command(QStringLiteral("rect -5 20 1355 788")));
    RECT rect{0, 0, 0, 0};
    QVERIFY(m_link->getWindowRect(m_host->handle(), &rect));
    QCOMPARE(rect.left, -5);
    QCOMPARE(rect.top, 20);
    QCOMPARE(rect.right, 1355);
    QCOMPARE(rect.bottom, 788);
    QVERIFY(!m_link->getWindowRect(m_host->handle(), nullptr));
    QVERIFY(!m_link->getWindowRect(HostProcess::freshHandle(), &rect));
}

void TestHostLink::commandsArriveAsSignalsInOrder()
{
    QSignalSpy spy(m_link.get(), &CHostLink::hostCommand);
    QVERIFY(m_link->isWindow(m_host->handle()));
    QVERIFY(m_host->waitForLine(QStringLiteral("CONNECTED")) >= 0);
    const QStringList script{"show 5", "hide 1",   "min 1",     "restore",           "bigpic 0",
                             "moved",  "newalarm", "startpush", "tokens t\u4e2d r2", "close"};
    for (const QString& line : script) {
        QVERIFY2(m_host->command(line), qPrintable(line));
    }
    QTRY_COMPARE(spy.count(), script.size());
    const QList<HostCommand::Kind> kinds{
        HostCommand::Show,         HostCommand::Hide,  HostCommand::Minimise, HostCommand::Minimise,
        HostCommand::BigPicture,   HostCommand::Moved, HostCommand::NewAlarm, HostCommand::StartPush,
        HostCommand::UpdateTokens, HostCommand::Close};
    const QList<int> values{5, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < spy.count(); ++i) {
        const auto command = spy.at(i).at(0).value<HostCommand>();
        QCOMPARE(command.eKind, kinds.at(i));
        QCOMPARE(command.nValue, values.at(i));
    }
    const auto tokens = spy.at(8).at(0).value<HostCommand>();
    QCOMPARE(tokens.strFirst, QStringLiteral("t\u4e2d"));
    QCOMPARE(tokens.strSecond, QStringLiteral("r2"));
}

void TestHostLink::commandsDuringASendAreDeliveredAfterIt()
{
    QSignalSpy spy(m_link.get(), &CHostLink::hostCommand);
    QVERIFY(m_host->command(QStringLiteral("preack show 9")));
    QVERIFY(m_host->command(QStringLiteral("preack tokens new-token new-refresh")));
    QVERIFY(m_host->command(QStringLiteral("ackresult 4")));

    // The host writes both commands before the ack: the send still gets its
    // result, and the commands wait until it has returned.
    QCOMPARE(m_link->sendMessage(m_host->handle(), 2052, 10, 1), LRESULT(4));
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).value<HostCommand>().eKind, HostCommand::Show);
    QCOMPARE(spy.at(0).at(0).value<HostCommand>().nValue, 9);
    QCOMPARE(spy.at(1).at(0).value<HostCommand>().strFirst, QStringLiteral("new-token"));
}

void TestHostLink::hostGoingAwayIsReportedAndSendsFail()
{
    QSignalSpy gone(m_link.get(), &CHostLink::hostGone);
    QVERIFY(m_link->isWindow(m_host->handle()));
    QVERIFY(m_host->waitForLine(QStringLiteral("CONNECTED")) >= 0);
    m_host->stop();
    QTRY_COMPARE(gone.count(), 1);
    QCOMPARE(m_link->sendMessage(m_host->handle(), 2044, 3, 0), LRESULT(0));
    QVERIFY(!m_link->isWindow(m_host->handle()));
    QVERIFY(!m_link->postMessage(m_host->handle(), 2054, 3, 0));
}

void TestHostLink::offThreadPostIsQueuedAndSendIsRefused()
{
    QVERIFY(m_link->isWindow(m_host->handle()));
    bool posted = false;
    LRESULT sent = -1;
    RECT rect{0, 0, 0, 0};
    bool gotRect = true;
    const HWND hWnd = m_host->handle();
    std::unique_ptr<QThread> worker(QThread::create([&]() {
        posted = m_link->postMessageWithData(hWnd, 8591, 0, 0, QByteArray("from the push thread"));
        sent = m_link->sendMessage(hWnd, 2044, 3, 0);
        gotRect = m_link->getWindowRect(hWnd, &rect);
    }));
    worker->start();
    QVERIFY(worker->wait(10000));
    QVERIFY(posted);
    QCOMPARE(sent, LRESULT(0));
    QVERIFY(!gotRect);
    QVERIFY(logkit::captured("called off the link's thread", 5));
    QVERIFY(m_host->waitForLine(QStringLiteral("MSG 8591 w=0 l=0 posted data=from the push thread")) >= 0);
    QVERIFY(m_host->lines().filter(QStringLiteral("MSG 2044")).isEmpty());
}

void TestHostLink::processWideFunctionsReachTheHost()
{
    const HWND hWnd = m_host->handle();
    QVERIFY(native::IsWindow(hWnd));
    QVERIFY(native::PostMessage(hWnd, 2073, 0, 0));
    QCOMPARE(native::SendMessage(hWnd, 2045, 1, 99), LRESULT(1));
    RECT rect{0, 0, 0, 0};
    QVERIFY(native::GetWindowRect(hWnd, &rect));
    QVERIFY(rect.right > rect.left);
    QVERIFY(m_host->waitForLine(QStringLiteral("MSG 2073 w=0 l=0 posted")) >= 0);
    QVERIFY(m_host->waitForLine(QStringLiteral("MSG 2045 w=1 l=99 sent")) >= 0);
    QCOMPARE(CHostLink::instance(), CHostLink::instance());
    QVERIFY(!native::IsWindow(0));
}

void TestHostLink::headlessHostRejectsMalformedCommands()
{
    // Nobody connected yet: a valid command for the module is refused, not lost silently.
    int from = m_host->lines().size();
    QVERIFY(m_host->send(QStringLiteral("show 5")));
    QVERIFY(m_host->waitForLine(QStringLiteral("ERROR no module connected: show 5"), 5000, from) >= 0);

    const QStringList bad{"show",      "show x", "hide 1 2",     "tokens only-one", "rect 1 2 3", "moved now",
                          "ackresult", "preack", "preack bogus", "bogus",           "quit now"};
    for (const QString& line : bad) {
        from = m_host->lines().size();
        QVERIFY(m_host->send(line));
        QVERIFY2(m_host->waitForLine(QStringLiteral("ERROR "), 5000, from) >= 0, qPrintable(line));
    }
    // Still alive and still obeying.
    QVERIFY(m_host->command(QStringLiteral("ackresult 2")));
    QCOMPARE(m_link->sendMessage(m_host->handle(), 2052, 10, 1), LRESULT(2));
}

void TestHostLink::garbageFramesAreDroppedAndTheLinkGoesOn()
{
    QByteArray garbage;
    garbage += rawFrame(0xdeadbeef, CHostFrame::Ack, 1, QByteArray(8, '\0'));        // bad magic
    garbage += rawFrame(CHostFrame::kMagic, 77, 1, QByteArray(8, '\0'));             // unknown type
    garbage += rawFrame(CHostFrame::kMagic, CHostFrame::Ack, 1, QByteArray(2, 'x')); // short payload
    garbage += CHostFrame::makeAck(999999, 1).encode();                              // nobody waits for it
    garbage += CHostFrame::makeSend(1, 2044, 0, 0).encode();                         // wrong direction
    const qint64 handle = HostProcess::freshHandle();
    FakeHost fake(handle, garbage, FakeHost::AckAfterGarbage);
    fake.start();
    QVERIFY(fake.waitListening());

    QSignalSpy gone(m_link.get(), &CHostLink::hostGone);
    QCOMPARE(m_link->sendMessage(handle, 2052, 10, 1), LRESULT(5));
    QCOMPARE(m_link->sendMessage(handle, 2052, 10, 1), LRESULT(5));
    QVERIFY(logkit::captured("bad magic", 5));
    QVERIFY(logkit::captured("unknown frame type 77", 5));
    QVERIFY(logkit::captured("payload truncated", 5));
    QVERIFY(logkit::captured("late or unknown ack 999999", 5));
    QVERIFY(logkit::captured("not for the module", 5));
    QCoreApplication::processEvents();
    QCOMPARE(gone.count(), 0);
}

void TestHostLink::impossibleLengthClosesTheLink()
{
    QByteArray garbage("\xff\xff\xff\xf0garbage that follows", 23);
    const qint64 handle = HostProcess::freshHandle();
    FakeHost fake(handle, garbage, FakeHost::AckAfterGarbage);
    fake.start();
    QVERIFY(fake.waitListening());

    QSignalSpy gone(m_link.get(), &CHostLink::hostGone);
    QCOMPARE(m_link->sendMessage(handle, 2052, 10, 1), LRESULT(0));
    QVERIFY(logkit::captured("unreadable stream", 5));
    QTRY_COMPARE(gone.count(), 1);
    // The host is still there: a new link can be made.
    QVERIFY(m_link->isWindow(handle));
}

void TestHostLink::silentHostTimesOut()
{
    const qint64 handle = HostProcess::freshHandle();
    FakeHost fake(handle, QByteArray(), FakeHost::GarbageOnly);
    fake.start();
    QVERIFY(fake.waitListening());
    QCOMPARE(m_link->sendMessage(handle, 2059, 0, 0), LRESULT(0));
    QVERIFY(logkit::captured("did not answer", 5));
    QVERIFY(m_link->isWindow(handle)); // a slow host is not a dead one
}

void TestHostLink::hostHangingUpDuringASendFailsIt()
{
    const qint64 handle = HostProcess::freshHandle();
    FakeHost fake(handle, QByteArray(), FakeHost::Hangup);
    fake.start();
    QVERIFY(fake.waitListening());
    QSignalSpy gone(m_link.get(), &CHostLink::hostGone);
    const QByteArray token("token");
    const COPYDATASTRUCT data = copyData(token);
    QCOMPARE(m_link->sendCopyData(handle, 0, data), LRESULT(0));
    QVERIFY(logkit::captured("went away before answering", 5));
    QTRY_COMPARE(gone.count(), 1);
}

QTEST_MAIN(TestHostLink)
#include "tst_hostlink.moc"
