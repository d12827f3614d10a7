// The host-link frame codec: every frame type survives a round trip, and
// malformed input is dropped or refused without reading past the buffer.
#include "native/CHostFrame.h"

#include <QDataStream>
#include <QtTest>

namespace {

CHostFrame::DecodeResult decode(const QByteArray& bytes, CHostFrame& frame)
{
    QByteArray buffer = bytes;
    QString error;
    return CHostFrame::takeFrame(buffer, frame, error);
}

// A frame with a consistent length prefix around an arbitrary body.
QByteArray rawFrame(quint32 magic, quint16 version, quint16 type, quint32 seq, const QByteArray& payload)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << quint32(12 + payload.size()) << magic << version << type << seq;
    stream.writeRawData(payload.constData(), payload.size());
    return bytes;
}

} // namespace

class TestHostFrame : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsEveryType();
    void extremeValuesSurvive();
    void partialFrameWaitsForMore();
    void consecutiveFramesComeOutInOrder();
    void unreadableFramesAreDroppedAndTheStreamGoesOn_data();
    void unreadableFramesAreDroppedAndTheStreamGoesOn();
    void impossibleLengthBreaksTheStream_data();
    void impossibleLengthBreaksTheStream();
    void oversizeDataIsNotEncoded();
};

void TestHostFrame::roundTripsEveryType()
{
    HostCommand command;
    command.eKind = HostCommand::UpdateTokens;
    command.nValue = -4;
    command.strFirst = QStringLiteral("tok\u4e2d");
    command.strSecond = QStringLiteral("refresh");
    const QByteArray data("\x00\x01token\xff", 9);
    HostSignal signal;
    signal.eKind = HostSignal::UpdateTokens;
    signal.nFirst = -1;
    signal.nSecond = 3;
    signal.strFirst = QStringLiteral("\u65b0token");
    signal.strSecond = QStringLiteral("refresh");

    const QList<CHostFrame> frames{CHostFrame::makeSend(1, 2044, 3, 0),
                                   CHostFrame::makePost(2, 8591, 0, 0, data),
                                   CHostFrame::makeCopyData(3, 1, 12, data),
                                   CHostFrame::makeRectRequest(4),
                                   CHostFrame::makeAck(5, -17),
                                   CHostFrame::makeRectReply(6, true, RECT{-10, 20, 1350, 788}),
                                   CHostFrame::makeCommand(7, command),
                                   CHostFrame::makeWindowRequest(8, 0x1e00006u),
                                   CHostFrame::makeWindowReply(9, true, ~quint64(0), 0x40001fu),
                                   CHostFrame::makeSignal(10, signal)};
    for (const CHostFrame& original : frames) {
        CHostFrame copy;
        QCOMPARE(decode(original.encode(), copy), CHostFrame::Decoded);
        QCOMPARE(copy.m_eType, original.m_eType);
        QCOMPARE(copy.m_nSeq, original.m_nSeq);
        QCOMPARE(copy.m_nMsg, original.m_nMsg);
        QCOMPARE(copy.m_nWParam, original.m_nWParam);
        QCOMPARE(copy.m_nLParam, original.m_nLParam);
        QCOMPARE(copy.m_nDwData, original.m_nDwData);
        QCOMPARE(copy.m_baData, original.m_baData);
        QCOMPARE(copy.m_nResult, original.m_nResult);
        QCOMPARE(copy.m_bOk, original.m_bOk);
        QCOMPARE(copy.m_rect.left, original.m_rect.left);
        QCOMPARE(copy.m_rect.top, original.m_rect.top);
        QCOMPARE(copy.m_rect.right, original.m_rect.right);
        QCOMPARE(copy.m_rect.bottom, original.m_rect.bottom);
        QCOMPARE(copy.m_tCommand.eKind, original.m_tCommand.eKind);
        QCOMPARE(copy.m_tCommand.nValue, original.m_tCommand.nValue);
        QCOMPARE(copy.m_tCommand.strFirst, original.m_tCommand.strFirst);
        QCOMPARE(copy.m_tCommand.strSecond, original.m_tCommand.strSecond);
        QCOMPARE(copy.m_nWindow, original.m_nWindow);
        QCOMPARE(copy.m_nHostWindow, original.m_nHostWindow);
        QCOMPARE(copy.m_tSignal.eKind, original.m_tSignal.eKind);
        QCOMPARE(copy.m_tSignal.nFirst, original.m_tSignal.nFirst);
        QCOMPARE(copy.m_tSignal.nSecond, original.m_tSignal.nSecond);
        QCOMPARE(copy.m_tSignal.strFirst, original.m_tSignal.strFirst);
        QCOMPARE(copy.m_tSignal.strSecond, original.m_tSignal.strSecond);
    }
}

void TestHostFrame::extremeValuesSurvive()
{
    // A native handle in lParam and a full-width wParam must not be cut to 32 bits.
    const CHostFrame original =
        CHostFrame::makeSend(0xffffffffu, 2034, WPARAM(~quint64(0)), LPARAM(-1234567890123LL));
    CHostFrame copy;
    QCOMPARE(decode(original.encode(), copy), CHostFrame::Decoded);
    QCOMPARE(copy.m_nSeq, 0xffffffffu);
    QCOMPARE(copy.m_nWParam, WPARAM(~quint64(0)));
    QCOMPARE(copy.m_nLParam, LPARAM(-1234567890123LL));
}

void TestHostFrame::partialFrameWaitsForMore()
{
    const QByteArray whole = CHostFrame::makeCopyData(9, 0, 12, QByteArray(1000, 'x')).encode();
    for (int cut : {0, 1, 3, 4, 15, 16, whole.size() - 1}) {
        QByteArray buffer = whole.left(cut);
        CHostFrame frame;
        QString error;
        QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::NeedMore);
        QCOMPARE(buffer.size(), cut); // nothing consumed while incomplete
    }
}

void TestHostFrame::consecutiveFramesComeOutInOrder()
{
    QByteArray buffer = CHostFrame::makeCopyData(1, 0, 12, "first").encode() +
                        CHostFrame::makeCopyData(2, 1, 12, "second").encode() +
                        CHostFrame::makeSend(3, 2044, 3, 0).encode().left(10);
    CHostFrame frame;
    QString error;
    QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::Decoded);
    QCOMPARE(frame.m_baData, QByteArray("first"));
    QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::Decoded);
    QCOMPARE(frame.m_baData, QByteArray("second"));
    QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::NeedMore);
    QCOMPARE(buffer.size(), 10);
}

void TestHostFrame::unreadableFramesAreDroppedAndTheStreamGoesOn_data()
{
    QTest::addColumn<QByteArray>("bad");
    QByteArray ackPayload(8, '\0');
    QTest::newRow("bad magic") << rawFrame(0x12345678, 1, CHostFrame::Ack, 1, ackPayload);
    QTest::newRow("newer version") << rawFrame(CHostFrame::kMagic, 2, CHostFrame::Ack, 1, ackPayload);
    QTest::newRow("unknown type") << rawFrame(CHostFrame::kMagic, 1, 99, 1, ackPayload);
    QTest::newRow("type zero") << rawFrame(CHostFrame::kMagic, 1, 0, 1, ackPayload);
    QTest::newRow("ack too short") << rawFrame(CHostFrame::kMagic, 1, CHostFrame::Ack, 1,
                                               QByteArray(3, '\0'));
    QTest::newRow("trailing bytes") << rawFrame(CHostFrame::kMagic, 1, CHostFrame::Ack, 1,
                                                QByteArray(9, '\0'));

    // A copy-data frame whose blob claims more bytes than the frame holds.
    QByteArray lying;
    QDataStream stream(&lying, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << quint64(0) << quint64(12) << quint32(0x7fffffff);
    lying.append("abc");
    QTest::newRow("blob longer than frame")
        << rawFrame(CHostFrame::kMagic, 1, CHostFrame::CopyData, 1, lying);

    QByteArray command;
    QDataStream commandStream(&command, QIODevice::WriteOnly);
    commandStream.setByteOrder(QDataStream::BigEndian);
    commandStream << quint16(250) << qint32(0) << quint32(0) << quint32(0);
    QTest::newRow("unknown command") << rawFrame(CHostFrame::kMagic, 1, CHostFrame::Command, 1, command);

    QByteArray signal;
    QDataStream signalStream(&signal, QIODevice::WriteOnly);
    signalStream.setByteOrder(QDataStream::BigEndian);
    signalStream << quint16(9) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    QTest::newRow("unknown signal") << rawFrame(CHostFrame::kMagic, 1, CHostFrame::Signal, 1, signal);
}

void TestHostFrame::unreadableFramesAreDroppedAndTheStreamGoesOn()
{
    QFETCH(QByteArray, bad);
    QByteArray buffer = bad + CHostFrame::makeAck(42, 7).encode();
    CHostFrame frame;
    QString error;
    QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::Dropped);
    QVERIFY(!error.isEmpty());
    QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::Decoded);
    QCOMPARE(frame.m_eType, CHostFrame::Ack);
    QCOMPARE(frame.m_nSeq, 42u);
    QCOMPARE(frame.m_nResult, LRESULT(7));
    QVERIFY(buffer.isEmpty());
}

void TestHostFrame::impossibleLengthBreaksTheStream_data()
{
    QTest::addColumn<quint32>("length");
    QTest::newRow("zero") << quint32(0);
    QTest::newRow("shorter than header") << quint32(11);
    QTest::newRow("over the cap") << quint32(CHostFrame::kMaxFrameSize + 1);
    QTest::newRow("huge") << quint32(0xffffffff);
}

void TestHostFrame::impossibleLengthBreaksTheStream()
{
    QFETCH(quint32, length);
    QByteArray buffer;
    QDataStream stream(&buffer, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << length << CHostFrame::kMagic;
    CHostFrame frame;
    QString error;
    QCOMPARE(CHostFrame::takeFrame(buffer, frame, error), CHostFrame::Broken);
    QVERIFY(error.contains(QString::number(length)));
}

void TestHostFrame::oversizeDataIsNotEncoded()
{
    QVERIFY(CHostFrame::makeCopyData(1, 0, 12, QByteArray(int(CHostFrame::kMaxFrameSize), 'x'))
                .encode()
                .isEmpty());
    const QByteArray nearCap(int(CHostFrame::kMaxFrameSize) - 100, 'y');
    const QByteArray encoded = CHostFrame::makeCopyData(1, 0, 12, nearCap).encode();
    QVERIFY(!encoded.isEmpty());
    CHostFrame copy;
    QCOMPARE(decode(encoded, copy), CHostFrame::Decoded);
    QCOMPARE(copy.m_baData.size(), nearCap.size());
}

QTEST_APPLESS_MAIN(TestHostFrame)
#include "tst_hostframe.moc"
