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

// A host of the test's own: answers every request with raw bytes and then, if
// asked to, with the proper ack (result 5); or hangs up instead.
class FakeHost : public QThread
{
public:
    FakeHost(qint64 handle, const QByteArray& answer, bool ack, bool hangup)
        : m_handle(handle), m_answer(answer), m_ack(ack), m_hangup(hangup)
    {
        start();
        m_ready.acquire();
    }
    ~FakeHost() override
    {
        quit();
        wait();
    }

protected:
    void run() override
    {
        QLocalServer server;
        server.listen(CHostFrame::serverName(m_handle));
        QByteArray buffer;
        QObject::connect(&server, &QLocalServer::newConnection, &server, [&] {
            QLocalSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [&, socket] {
                buffer += socket->readAll();
                CHostFrame frame;
                QString error;
                while (CHostFrame::takeFrame(buffer, frame, error) == CHostFrame::Decoded) {
                    if (m_hangup)
                        return socket->close();
                    socket->write(m_answer +
                                  (m_ack ? CHostFrame::makeAck(frame.m_nSeq, 5).encode() : QByteArray()));
                }
            });
        });
        m_ready.release();
        exec();
    }

private:
    qint64 m_handle;
    QByteArray m_answer;
    bool m_ack, m_hangup;
    QSemaphore m_ready;
};

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
        // An ack with one byte of its header spoilt: 4 magic, 9 version, 11 type.
        const auto spoilt = [](int at) {
            QByteArray frame = CHostFrame::makeAck(1, 0).encode();
            frame[at] = '\x7f';
            return frame;
        };
        QTest::newRow("unreadable frames, then the ack")
            << spoilt(4) + spoilt(9) + spoilt(11) + CHostFrame::makeAck(999999, 1).encode() +
                   CHostFrame::makeSend(1, 2044, 0, 0).encode()
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
        FakeHost host(handle, answer, ack, hangup);
        CHostLink link;
        QSignalSpy goneSpy(&link, &CHostLink::hostGone);
        QCOMPARE(link.sendMessage(handle, 2052, 10, 1), LRESULT(result));
        if (result != 0) // the link goes on after what it dropped
            QCOMPARE(link.sendMessage(handle, 2052, 10, 1), LRESULT(result));
        if (gone)
            QTRY_COMPARE(goneSpy.count(), 1);
        QCOMPARE(goneSpy.count(), gone ? 1 : 0);
        // The host is still there: a slow one is not a dead one, and a broken
        // stream is made anew.
        if (!hangup)
            QVERIFY(link.isWindow(handle));
    }
};

QTEST_MAIN(TestHostLink)
#include "tst_hostlink.moc"
