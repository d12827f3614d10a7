// The module's side of the host link against a real demo host process, and
// against a host on a thread of the test's own that misbehaves on purpose.
#include "HostProcess.h"
#include "native/CHostLink.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

namespace {

// A host of the test's own on a thread: answers every request with raw bytes
// and then, if asked to, with the proper ack (result 5); or hangs up instead.
std::shared_ptr<QThread> fakeHost(qint64 handle, const QByteArray& answer, bool ack, bool hangup)
{
    QSemaphore ready;
    const std::shared_ptr<QThread> thread(
        QThread::create([=, &ready] {
            QLocalServer server;
            server.listen(CHostFrame::serverName(handle));
            QByteArray buffer;
            QObject::connect(&server, &QLocalServer::newConnection, &server, [&] {
                QLocalSocket* socket = server.nextPendingConnection();
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [&, socket] {
                    buffer += socket->readAll();
                    CHostFrame frame;
                    QString error;
                    while (CHostFrame::takeFrame(buffer, frame, error) == CHostFrame::Decoded) {
                        if (hangup)
                            return socket->close();
                        socket->write(answer +
                                      (ack ? CHostFrame::makeAck(frame.m_nSeq, 5).encode() : QByteArray()));
                    }
                });
            });
            ready.release();
            QEventLoop().exec(); // until the thread is told to quit
        }),
        [](QThread* done) {
            done->quit();
            done->wait();
            delete done;
        });
    thread->start();
    ready.acquire();
    return thread;
}

} // namespace

class TestHostLink : public QObject
{
    Q_OBJECT
private slots:
    void commandsDuringASendAreDeliveredAfterIt()
    {
        HostProcess host;
        QVERIFY(host.start());
        CHostLink link;
        QSignalSpy spy(&link, &CHostLink::hostCommand);
        QVERIFY(host.command(QStringLiteral("preack show 9")));
        QVERIFY(host.command(QStringLiteral("preack tokens new-token new-refresh")));
        QVERIFY(host.command(QStringLiteral("ackresult 4")));
        // The host writes both commands before the ack: the send still gets its
        // result, and the commands wait until it has returned.
        QCOMPARE(link.sendMessage(host.handle(), 2052, 10, 1), LRESULT(4));
        QCOMPARE(spy.count(), 0);
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).value<HostCommand>().nValue, 9);
        QCOMPARE(spy.at(1).at(0).value<HostCommand>().strFirst, QStringLiteral("new-token"));
    }

    void offThreadPostIsQueuedAndSendIsRefused()
    {
        HostProcess host;
        QVERIFY(host.start());
        CHostLink link;
        const HWND hWnd = host.handle();
        QVERIFY(link.isWindow(hWnd));
        bool posted = false, gotRect = true;
        LRESULT sent = -1;
        RECT rect{0, 0, 0, 0};
        std::unique_ptr<QThread> worker(QThread::create([&] {
            posted = link.postMessageWithData(hWnd, 8591, 0, 0, QByteArray("from the push thread"));
            sent = link.sendMessage(hWnd, 2044, 3, 0);
            gotRect = link.getWindowRect(hWnd, &rect);
        }));
        worker->start();
        QVERIFY(worker->wait(10000));
        QVERIFY(posted && !gotRect);
        QCOMPARE(sent, LRESULT(0));
        QVERIFY(host.waitForLine(QStringLiteral("MSG 8591 w=0 l=0 posted data=from the push thread")) >= 0);
        QVERIFY(host.lines().filter(QStringLiteral("MSG 2044")).isEmpty());
    }

    void misbehavingHosts_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("ack");
        QTest::addColumn<bool>("hangup");
        QTest::addColumn<int>("result"); // of each of two sends
        QTest::addColumn<bool>("gone");
        // Frames with one byte spoilt: magic, version, type; a command unknown.
        const auto spoilt = [](const CHostFrame& frame, int at) {
            QByteArray bytes = frame.encode();
            bytes[at] = '\x7f';
            return bytes;
        };
        const CHostFrame ack = CHostFrame::makeAck(1, 0);
        QTest::newRow("unreadable frames, then the ack")
            << spoilt(ack, 4) + spoilt(ack, 9) + spoilt(ack, 11) +
                   spoilt(CHostFrame::makeCommand(1, HostCommand{HostCommand::UpdateTokens, 0, {}, {}}), 17) +
                   CHostFrame::makeAck(999999, 1).encode() + CHostFrame::makeSend(1, 2044, 0, 0).encode()
            << true << false << 5 << false;
        QTest::newRow("impossible length")
            << QByteArray("\xff\xff\xff\xf0garbage", 11) << true << false << 0 << true;
        QTest::newRow("silent") << QByteArray() << false << false << 0 << false;
        QTest::newRow("hangs up") << QByteArray() << false << true << 0 << true;
    }

    void misbehavingHosts()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, ack);
        QFETCH(bool, hangup);
        QFETCH(int, result);
        QFETCH(bool, gone);
        const qint64 handle = HostProcess::freshHandle();
        const auto host = fakeHost(handle, answer, ack, hangup);
        CHostLink link;
        QSignalSpy goneSpy(&link, &CHostLink::hostGone), commands(&link, &CHostLink::hostCommand);
        QCOMPARE(link.sendMessage(handle, 2052, 10, 1), LRESULT(result));
        if (result != 0) // the link goes on after what it dropped
            QCOMPARE(link.sendMessage(handle, 2052, 10, 1), LRESULT(result));
        if (gone)
            QTRY_COMPARE(goneSpy.count(), 1);
        QCOMPARE(goneSpy.count(), gone ? 1 : 0);
        QCOMPARE(commands.count(), 0);
        // The host is still there: a slow one is not a dead one, and a broken
        // stream is made anew.
        if (!hangup)
            QVERIFY(link.isWindow(handle));
    }
};

QTEST_MAIN(TestHostLink)
#include "tst_hostlink.moc"
