#include "native/CHostFrame.h"

#include <QDataStream>
#include <QtEndian>

namespace {

void writeBlob(QDataStream& stream, const QByteArray& baBlob)
{
    stream << quint32(baBlob.size());
    stream.writeRawData(baBlob.constData(), baBlob.size());
}

// The stream's own QByteArray reader would trust the announced length; this one
// checks it against what the frame really holds first.
bool readBlob(QDataStream& stream, QByteArray& baBlob)
{
    quint32 nLen = 0;
    stream >> nLen;
    if (stream.status() != QDataStream::Ok || nLen > quint32(stream.device()->bytesAvailable())) {
        return false;
    }
    baBlob.resize(int(nLen));
    return stream.readRawData(baBlob.data(), int(nLen)) == int(nLen);
}

constexpr quint16 kLastCommandKind = HostCommand::Ping;
constexpr quint16 kLastSignalKind = HostSignal::Pong;

} // namespace

CHostFrame CHostFrame::makeSend(quint32 nSeq, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CHostFrame frame;
    frame.m_eType = Send;
    frame.m_nSeq = nSeq;
    frame.m_nMsg = nMsg;
    frame.m_nWParam = wParam;
    frame.m_nLParam = lParam;
    return frame;
}

CHostFrame CHostFrame::makePost(quint32 nSeq, UINT nMsg, WPARAM wParam, LPARAM lParam,
                                const QByteArray& baData)
{
    CHostFrame frame = makeSend(nSeq, nMsg, wParam, lParam);
    frame.m_eType = Post;
    frame.m_baData = baData;
    return frame;
}

CHostFrame CHostFrame::makeCopyData(quint32 nSeq, WPARAM wParam, quint64 nDwData, const QByteArray& baData)
{
    CHostFrame frame;
    frame.m_eType = CopyData;
    frame.m_nSeq = nSeq;
    frame.m_nMsg = WM_COPYDATA;
    frame.m_nWParam = wParam;
    frame.m_nDwData = nDwData;
    frame.m_baData = baData;
    return frame;
}

CHostFrame CHostFrame::makeRectRequest(quint32 nSeq)
{
    CHostFrame frame;
    frame.m_eType = RectRequest;
    frame.m_nSeq = nSeq;
    return frame;
}

CHostFrame CHostFrame::makeAck(quint32 nSeq, LRESULT nResult)
{
    CHostFrame frame;
    frame.m_eType = Ack;
    frame.m_nSeq = nSeq;
    frame.m_nResult = nResult;
    return frame;
}

CHostFrame CHostFrame::makeRectReply(quint32 nSeq, bool bOk, const RECT& rect)
{
    CHostFrame frame;
    frame.m_eType = RectReply;
    frame.m_nSeq = nSeq;
    frame.m_bOk = bOk;
    frame.m_rect = rect;
    return frame;
}

CHostFrame CHostFrame::makeCommand(quint32 nSeq, const HostCommand& cmd)
{
    CHostFrame frame;
    frame.m_eType = Command;
    frame.m_nSeq = nSeq;
    frame.m_tCommand = cmd;
    return frame;
}

CHostFrame CHostFrame::makeWindowRequest(quint32 nSeq, quint64 nModuleWindow)
{
    CHostFrame frame;
    frame.m_eType = WindowRequest;
    frame.m_nSeq = nSeq;
    frame.m_nWindow = nModuleWindow;
    return frame;
}

CHostFrame CHostFrame::makeWindowReply(quint32 nSeq, bool bOk, quint64 nHolder, quint64 nHostTop)
{
    CHostFrame frame;
    frame.m_eType = WindowReply;
    frame.m_nSeq = nSeq;
    frame.m_bOk = bOk;
    frame.m_nWindow = nHolder;
    frame.m_nHostWindow = nHostTop;
    return frame;
}

CHostFrame CHostFrame::makeSignal(quint32 nSeq, const HostSignal& signal)
{
    CHostFrame frame;
    frame.m_eType = Signal;
    frame.m_nSeq = nSeq;
    frame.m_tSignal = signal;
    return frame;
}

QString CHostFrame::serverName(HWND hWnd)
{
    return QStringLiteral("messageclient-host-%1").arg(qint64(hWnd));
}

QString CHostFrame::typeName(quint16 nType)
{
    switch (nType) {
    case Send:
        return QStringLiteral("send");
    case Post:
        return QStringLiteral("post");
    case CopyData:
        return QStringLiteral("copydata");
    case RectRequest:
        return QStringLiteral("rect-request");
    case Ack:
        return QStringLiteral("ack");
    case RectReply:
        return QStringLiteral("rect-reply");
    case Command:
        return QStringLiteral("command");
    case WindowRequest:
        return QStringLiteral("window-request");
    case WindowReply:
        return QStringLiteral("window-reply");
    case Signal:
        return QStringLiteral("signal");
    default:
        return QStringLiteral("type-%1").arg(nType);
    }
}

QByteArray CHostFrame::encodePayload() const
{
    QByteArray baPayload;
    QDataStream stream(&baPayload, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    switch (m_eType) {
    case Send:
    case Post:
        stream << quint32(m_nMsg) << quint64(m_nWParam) << qint64(m_nLParam);
        writeBlob(stream, m_baData);
        break;
    case CopyData:
        stream << quint64(m_nWParam) << quint64(m_nDwData);
        writeBlob(stream, m_baData);
        break;
    case RectRequest:
        break;
    case Ack:
        stream << qint64(m_nResult);
        break;
    case RectReply:
        stream << quint8(m_bOk ? 1 : 0) << qint32(m_rect.left) << qint32(m_rect.top) << qint32(m_rect.right)
               << qint32(m_rect.bottom);
        break;
    case Command:
        stream << quint16(m_tCommand.eKind) << qint32(m_tCommand.nValue);
        writeBlob(stream, m_tCommand.strFirst.toUtf8());
        writeBlob(stream, m_tCommand.strSecond.toUtf8());
        break;
    case WindowRequest:
        stream << m_nWindow;
        break;
    case WindowReply:
        stream << quint8(m_bOk ? 1 : 0) << m_nWindow << m_nHostWindow;
        break;
    case Signal:
        stream << quint16(m_tSignal.eKind) << qint32(m_tSignal.nFirst) << qint32(m_tSignal.nSecond);
        writeBlob(stream, m_tSignal.strFirst.toUtf8());
        writeBlob(stream, m_tSignal.strSecond.toUtf8());
        break;
    }
    return baPayload;
}

QByteArray CHostFrame::encode() const
{
    // Blobs are bounded before they are copied, so an oversize frame costs nothing.
    if (quint64(m_baData.size()) + 64 > kMaxFrameSize) {
        return QByteArray();
    }
    const QByteArray baPayload = encodePayload();
    const quint32 nBody = kHeaderSize + quint32(baPayload.size());
    if (nBody > kMaxFrameSize) {
        return QByteArray();
    }
    QByteArray baFrame;
    baFrame.reserve(int(kPrefixSize + nBody));
    QDataStream stream(&baFrame, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << nBody << kMagic << kVersion << quint16(m_eType) << m_nSeq;
    stream.writeRawData(baPayload.constData(), baPayload.size());
    return baFrame;
}

CHostFrame::DecodeResult CHostFrame::takeFrame(QByteArray& baBuffer, CHostFrame& frame, QString& strError)
{
    if (baBuffer.size() < kPrefixSize) {
        return NeedMore;
    }
    const quint32 nBody = qFromBigEndian<quint32>(baBuffer.constData());
    if (nBody < kHeaderSize || nBody > kMaxFrameSize) {
        strError = QStringLiteral("impossible frame length %1").arg(nBody);
        return Broken;
    }
    if (quint32(baBuffer.size()) - kPrefixSize < nBody) {
        return NeedMore;
    }
    const QByteArray baBody = baBuffer.mid(kPrefixSize, int(nBody));
    baBuffer.remove(0, int(kPrefixSize + nBody));

    QDataStream stream(baBody);
    stream.setByteOrder(QDataStream::BigEndian);
    quint32 nMagic = 0;
    quint16 nVersion = 0;
    quint16 nType = 0;
    quint32 nSeq = 0;
    stream >> nMagic >> nVersion >> nType >> nSeq;
    if (nMagic != kMagic) {
        strError = QStringLiteral("bad magic 0x%1").arg(nMagic, 8, 16, QLatin1Char('0'));
        return Dropped;
    }
    if (nVersion != kVersion) {
        strError = QStringLiteral("unsupported version %1").arg(nVersion);
        return Dropped;
    }
    if (nType < Send || nType > Signal) {
        strError = QStringLiteral("unknown frame type %1").arg(nType);
        return Dropped;
    }
    CHostFrame decoded;
    decoded.m_eType = Type(nType);
    decoded.m_nSeq = nSeq;
    if (!decoded.decodePayload(baBody.mid(int(kHeaderSize)), strError)) {
        strError = QStringLiteral("%1 frame %2: %3").arg(typeName(nType)).arg(nSeq).arg(strError);
        return Dropped;
    }
    frame = decoded;
    return Decoded;
}

bool CHostFrame::decodePayload(const QByteArray& baPayload, QString& strError)
{
    QDataStream stream(baPayload);
    stream.setByteOrder(QDataStream::BigEndian);
    bool bBlobsOk = true;
    switch (m_eType) {
    case Send:
    case Post: {
        quint32 nMsg = 0;
        quint64 nW = 0;
        qint64 nL = 0;
        stream >> nMsg >> nW >> nL;
        bBlobsOk = readBlob(stream, m_baData);
        m_nMsg = nMsg;
        m_nWParam = WPARAM(nW);
        m_nLParam = LPARAM(nL);
        break;
    }
    case CopyData: {
        quint64 nW = 0;
        stream >> nW >> m_nDwData;
        bBlobsOk = readBlob(stream, m_baData);
        m_nMsg = WM_COPYDATA;
        m_nWParam = WPARAM(nW);
        break;
    }
    case RectRequest:
        break;
    case Ack: {
        qint64 nResult = 0;
        stream >> nResult;
        m_nResult = LRESULT(nResult);
        break;
    }
    case RectReply: {
        quint8 nOk = 0;
        qint32 nLeft = 0, nTop = 0, nRight = 0, nBottom = 0;
        stream >> nOk >> nLeft >> nTop >> nRight >> nBottom;
        m_bOk = nOk != 0;
        m_rect = RECT{nLeft, nTop, nRight, nBottom};
        break;
    }
    case Command: {
        quint16 nKind = 0;
        qint32 nValue = 0;
        QByteArray baFirst, baSecond;
        stream >> nKind >> nValue;
        bBlobsOk = readBlob(stream, baFirst) && readBlob(stream, baSecond);
        if (bBlobsOk && nKind > kLastCommandKind) {
            strError = QStringLiteral("unknown command %1").arg(nKind);
            return false;
        }
        m_tCommand.eKind = HostCommand::Kind(nKind);
        m_tCommand.nValue = nValue;
        m_tCommand.strFirst = QString::fromUtf8(baFirst);
        m_tCommand.strSecond = QString::fromUtf8(baSecond);
        break;
    }
    case WindowRequest:
        stream >> m_nWindow;
        break;
    case WindowReply: {
        quint8 nOk = 0;
        stream >> nOk >> m_nWindow >> m_nHostWindow;
        m_bOk = nOk != 0;
        break;
    }
    case Signal: {
        quint16 nKind = 0;
        qint32 nFirst = 0, nSecond = 0;
        QByteArray baFirst, baSecond;
        stream >> nKind >> nFirst >> nSecond;
        bBlobsOk = readBlob(stream, baFirst) && readBlob(stream, baSecond);
        if (bBlobsOk && nKind > kLastSignalKind) {
            strError = QStringLiteral("unknown signal %1").arg(nKind);
            return false;
        }
        m_tSignal.eKind = HostSignal::Kind(nKind);
        m_tSignal.nFirst = nFirst;
        m_tSignal.nSecond = nSecond;
        m_tSignal.strFirst = QString::fromUtf8(baFirst);
        m_tSignal.strSecond = QString::fromUtf8(baSecond);
        break;
    }
    }
    if (!bBlobsOk || stream.status() != QDataStream::Ok) {
        strError = QStringLiteral("payload truncated");
        return false;
    }
    if (!stream.atEnd()) {
        strError = QStringLiteral("%1 unexpected trailing bytes").arg(stream.device()->bytesAvailable());
        return false;
    }
    return true;
}
