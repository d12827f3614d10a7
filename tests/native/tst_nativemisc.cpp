// The native layer's pure parts: every host-link frame type survives a round
// trip whole (malformed frames: the host_frame fuzz corpus under the sanitizer,
// tst_hostlink's unreadable frames); which local address the hint picks, how
// adapter addresses are written, and the caller's buffer is never overrun.
#include "native/CHostFrame.h"
#include "native/LocalAddress.h"

#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(std::vector<std::string>)

class TestNativeMisc : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsEveryTypeInPieces()
    {
        HostCommand command{HostCommand::UpdateTokens, -4, QStringLiteral("tok\u4e2d"), QStringLiteral("r")};
        HostSignal signal{HostSignal::UpdateTokens, -1, 3, QStringLiteral("\u65b0t"), QStringLiteral("r")};
        const QByteArray data("\x00\x01token\xff", 9);
        // Native handles and full-width parameters must not be cut to 32 bits.
        const QList<CHostFrame> frames{
            CHostFrame::makeSend(0xffffffffu, 2034, WPARAM(~quint64(0)), LPARAM(-1234567890123LL)),
            CHostFrame::makePost(2, 8591, 0, 0, data),
            CHostFrame::makeCopyData(3, 1, 12, data),
            CHostFrame::makeRectRequest(4),
            CHostFrame::makeAck(5, -17),
            CHostFrame::makeRectReply(6, true, RECT{-10, 20, 1350, 788}),
            CHostFrame::makeCommand(7, command),
            CHostFrame::makeWindowRequest(8, 0x1e00006u),
            CHostFrame::makeWindowReply(9, true, ~quint64(0), 0x40001fu),
            CHostFrame::makeSignal(10, signal)};
        QByteArray wire;
        for (const CHostFrame& frame : frames)
            wire += frame.encode();
        // Fed in pieces: nothing is taken until a frame is whole.
        QByteArray buffer, reencoded;
        QString error;
        for (int at = 0; at < wire.size(); at += 7) {
            buffer += wire.mid(at, 7);
            CHostFrame copy;
            CHostFrame::DecodeResult result;
            while ((result = CHostFrame::takeFrame(buffer, copy, error)) == CHostFrame::Decoded)
                reencoded += copy.encode();
            QCOMPARE(result, CHostFrame::NeedMore);
        }
        QCOMPARE(reencoded, wire);
        QVERIFY(buffer.isEmpty());
        const QByteArray tooBig(int(CHostFrame::kMaxFrameSize), 'x');
        QVERIFY(CHostFrame::makeCopyData(1, 0, 12, tooBig).encode().isEmpty());
    }

    void localIpFollowsTheHintsFirstComponent_data()
    {
        QTest::addColumn<std::vector<std::string>>("addresses");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const std::vector<std::string>& addresses, const char* hint,
                            const char* ip) {
            QTest::newRow(name) << addresses << QString::fromLatin1(hint) << QString::fromLatin1(ip);
        };
        const std::vector<std::string> two{"10.1.2.3", "192.168.5.6"};
        row("hint 10", two, "10.0.0.9", "10.1.2.3");
        row("no match takes the last", two, "172.16.0.1", "192.168.5.6");
        row("hint without dot", two, "10", "10.1.2.3");
        row("whole first component", {"1.2.3.4", "10.2.3.4", "100.1.1.1"}, "10.9", "10.2.3.4");
        row("first match wins", {"10.0.0.1", "10.0.0.2"}, "10.5", "10.0.0.1");
    }

    void localIpFollowsTheHintsFirstComponent()
    {
        QFETCH(std::vector<std::string>, addresses);
        QFETCH(QString, hint);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(native::ChooseLocalIp(addresses, hint.toStdString())), expected);
    }

    void localIpOfThisHostFitsTheBuffer()
    {
        char out[20];
        std::memset(out, 'Z', sizeof(out));
        if (native::GetParityInform_IP(out, nullptr))
            QVERIFY(strnlen(out, sizeof(out)) <= 15);
        QCOMPARE(out[19], 'Z'); // nothing written past the text and its zero
        QVERIFY(!native::GetParityInform_IP(nullptr, "10"));
    }

    void macListStopsAtTheFirstAdapterWithoutAddress()
    {
        const QByteArray eth("\x00\x1a\x2b\x3c\x4d\x5e", 6), wifi("\xa0\xb1\xc2\xd3\xe4\xf5", 6);
        QCOMPARE(native::FormatAdapterMacs({eth, QByteArray(), wifi}), QStringList({"00:1a:2b:3c:4d:5e"}));
        // Short and long addresses are padded or cut to six bytes.
        QCOMPARE(native::FormatAdapterMacs(
                     {QByteArray("\x01\x02", 2), QByteArray("\x11\x22\x33\x44\x55\x66\x77", 7)}),
                 QStringList({"01:02:00:00:00:00", "11:22:33:44:55:66"}));
    }
};

QTEST_APPLESS_MAIN(TestNativeMisc)
#include "tst_nativemisc.moc"
