// The host-link frame codec: every frame type survives a round trip whole, and
// malformed input is dropped or refused without reading past the buffer (bad
// magic, version and type: tst_hostlink's unreadable frames).
#include "native/CHostFrame.h"

#include <QDataStream>
#include <QtTest>

class TestHostFrame : public QObject
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
        QVERIFY(CHostFrame::makeCopyData(1, 0, 12, QByteArray(int(CHostFrame::kMaxFrameSize), 'x'))
                    .encode()
                    .isEmpty());
    }

    void unreadableFramesAreDroppedAndTheStreamGoesOn_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::addColumn<int>("result");
        // A frame with a consistent length prefix around the payload given in hex.
        const auto row = [](const char* name, quint16 type, const char* payload) {
            QByteArray bytes, body = QByteArray::fromHex(payload);
            QDataStream(&bytes, QIODevice::WriteOnly)
                << quint32(12 + body.size()) << CHostFrame::kMagic << quint16(1) << type << quint32(1);
            QTest::newRow(name) << bytes + body << int(CHostFrame::Dropped);
        };
        row("ack too short", CHostFrame::Ack, "000000");
        row("trailing bytes", CHostFrame::Ack, "000000000000000000");
        row("blob longer than frame", CHostFrame::CopyData,
            "0000000000000000 000000000000000c 7fffffff 616263");
        row("unknown command", CHostFrame::Command, "00fa 00000000 00000000 00000000");
        row("unknown signal", CHostFrame::Signal, "0009 00000000 00000000 00000000 00000000");
        // An impossible length prefix: the stream cannot be resynchronised.
        for (quint32 length : {0u, 11u, CHostFrame::kMaxFrameSize + 1, 0xffffffffu}) {
            QByteArray prefix;
            QDataStream(&prefix, QIODevice::WriteOnly) << length << CHostFrame::kMagic;
            QTest::addRow("length %u", length) << prefix << int(CHostFrame::Broken);
        }
    }

    void unreadableFramesAreDroppedAndTheStreamGoesOn()
    {
        QFETCH(QByteArray, bad);
        QFETCH(int, result);
        QByteArray buffer = bad + CHostFrame::makeAck(42, 7).encode();
        CHostFrame frame;
        QString error;
        QCOMPARE(int(CHostFrame::takeFrame(buffer, frame, error)), result);
        QVERIFY(!error.isEmpty());
        if (result == CHostFrame::Dropped) {
            QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::Decoded);
            QCOMPARE(frame.m_nSeq, 42u);
            QVERIFY(buffer.isEmpty());
        }
    }
};

QTEST_APPLESS_MAIN(TestHostFrame)
#include "tst_hostframe.moc"
