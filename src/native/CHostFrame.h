// One frame of the host link, shared by the module's side and the demo host.
// Layout (big-endian): u32 length of what follows, u32 magic "MCHL", u16 version,
// u16 type, u32 sequence, then the type's payload (docs/host-link.md).
#pragma once

#include "base/WinTypes.h"
#include "native/HostCommand.h"
#include "native/HostSignal.h"

#include <QByteArray>
#include <QString>

class CHostFrame
{
public:
    enum Type : quint16
    {
        Send = 1,          // module -> host, acknowledged
        Post = 2,          // module -> host, not acknowledged
        CopyData = 3,      // module -> host, acknowledged
        RectRequest = 4,   // module -> host, answered by RectReply
        Ack = 5,           // host -> module
        RectReply = 6,     // host -> module
        Command = 7,       // host -> module
        WindowRequest = 8, // module -> host, answered by WindowReply
        WindowReply = 9,   // host -> module
        Signal = 10        // module -> host, not acknowledged
    };

    enum DecodeResult
    {
        NeedMore, // buffer holds no whole frame yet
        Decoded,  // frame filled, its bytes taken from the buffer
        Dropped,  // a whole frame was unreadable; its bytes were taken, strError says why
        Broken    // the length prefix is impossible: the stream cannot be resynchronised
    };

    static constexpr quint32 kMagic = 0x4D43484C; // "MCHL"
    static constexpr quint16 kVersion = 1;
    static constexpr int kPrefixSize = 4;
    static constexpr quint32 kHeaderSize = 12;          // magic, version, type, sequence
    static constexpr quint32 kMaxFrameSize = 16u << 20; // bytes after the length prefix

    static CHostFrame makeSend(quint32 nSeq, UINT nMsg, WPARAM wParam, LPARAM lParam);
    static CHostFrame makePost(quint32 nSeq, UINT nMsg, WPARAM wParam, LPARAM lParam,
                               const QByteArray& baData = QByteArray());
    static CHostFrame makeCopyData(quint32 nSeq, WPARAM wParam, quint64 nDwData, const QByteArray& baData);
    static CHostFrame makeRectRequest(quint32 nSeq);
    static CHostFrame makeAck(quint32 nSeq, LRESULT nResult);
    static CHostFrame makeRectReply(quint32 nSeq, bool bOk, const RECT& rect);
    static CHostFrame makeCommand(quint32 nSeq, const HostCommand& cmd);
    static CHostFrame makeWindowRequest(quint32 nSeq, quint64 nModuleWindow);
    static CHostFrame makeWindowReply(quint32 nSeq, bool bOk, quint64 nHolder, quint64 nHostTop);
    static CHostFrame makeSignal(quint32 nSeq, const HostSignal& signal);

    // Empty when the frame would exceed kMaxFrameSize.
    QByteArray encode() const;

    // Takes at most one frame from the front of baBuffer.
    static DecodeResult takeFrame(QByteArray& baBuffer, CHostFrame& frame, QString& strError);

    static QString typeName(quint16 nType);

    // Name of the local server a host with this handle listens on.
    static QString serverName(HWND hWnd);

    Type m_eType = Post;
    quint32 m_nSeq = 0;
    UINT m_nMsg = 0;
    WPARAM m_nWParam = 0;
    LPARAM m_nLParam = 0;
    quint64 m_nDwData = 0;
    QByteArray m_baData;
    LRESULT m_nResult = 0;
    bool m_bOk = false;
    RECT m_rect{0, 0, 0, 0};
    HostCommand m_tCommand;
    quint64 m_nWindow = 0;     // request: the module's window; reply: the window that holds it
    quint64 m_nHostWindow = 0; // reply: the host's top-level window
    HostSignal m_tSignal;

private:
    QByteArray encodePayload() const;
    bool decodePayload(const QByteArray& baPayload, QString& strError);
};
