// The host-link frame codec: every frame type survives a round trip whole, and
// malformed input is dropped or refused without reading past the buffer.
#include "native/CHostFrame.h"

#include <QDataStream>
#include <QtTest>

namespace {

// A frame with a consistent length prefix around an arbitrary body; fields are
// written big-endian in the order given.
template <typename... Fields>
QByteArray rawFrame(quint32 magic, quint16 version, quint16 type, const QByteArray& tail, Fields... fields)
{
    QByteArray payload;
    QDataStream body(&payload, QIODevice::WriteOnly);
    if constexpr (sizeof...(fields) > 0)
        (body << ... << fields);
    payload += tail;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << quint32(12 + payload.size()) << magic << version << type << quint32(1);
    return bytes + payload;
}

} // namespace

class TestHostFrame : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsEveryTypeInPieces();
    void unreadableFramesAreDroppedAndTheStreamGoesOn_data();
    void unreadableFramesAreDroppedAndTheStreamGoesOn();
};

void TestHostFrame::roundTripsEveryTypeInPieces()
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
    QByteArray buffer;
    QByteArray reencoded;
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

void TestHostFrame::unreadableFramesAreDroppedAndTheStreamGoesOn_data()
{
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<int>("result");
    const quint32 magic = CHostFrame::kMagic;
    const QByteArray ack(8, '\0');
    const int dropped = CHostFrame::Dropped;
    QTest::newRow("bad magic") << rawFrame(0x12345678, 1, CHostFrame::Ack, ack) << dropped;
    QTest::newRow("newer version") << rawFrame(magic, 2, CHostFrame::Ack, ack) << dropped;
    QTest::newRow("unknown type") << rawFrame(magic, 1, 99, ack) << dropped;
    QTest::newRow("ack too short") << rawFrame(magic, 1, CHostFrame::Ack, QByteArray(3, '\0')) << dropped;
    QTest::newRow("trailing bytes") << rawFrame(magic, 1, CHostFrame::Ack, QByteArray(9, '\0')) << dropped;
    QTest::newRow("blob longer than frame")
        << rawFrame(magic, 1, CHostFrame::CopyData, "abc", quint64(0), quint64(12), quint32(0x7fffffff))
        << dropped;
    QTest::newRow("unknown command") << rawFrame(magic, 1, CHostFrame::Command, {}, quint16(250), qint32(0),
                                                 quint32(0), quint32(0))
                                     << dropped;
    QTest::newRow("unknown signal") << rawFrame(magic, 1, CHostFrame::Signal, {}, quint16(9), qint32(0),
                                                qint32(0), quint32(0), quint32(0))
                                    << dropped;
    // An impossible length prefix: the stream cannot be resynchronised.
    for (quint32 length : {0u, 11u, CHostFrame::kMaxFrameSize + 1, 0xffffffffu}) {
        QByteArray prefix;
        QDataStream(&prefix, QIODevice::WriteOnly) << length << magic;
        QTest::addRow("length %u", length) << prefix << int(CHostFrame::Broken);
    }
}

void TestHostFrame::unreadableFramesAreDroppedAndTheStreamGoesOn()
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

QTEST_APPLESS_MAIN(TestHostFrame)
#include "tst_hostframe.moc"
