// Push messages out of the reads of the connection. The text protocol has no
// framing, so a read normally is one message; but a read can end inside a
// message. An alarm whose JSON payload is visibly incomplete (left open) is
// held until the rest arrives; a message that grows past the cap is dropped
// whole, and so is what follows of it, instead of reaching the host in part.
#pragma once

#include <QByteArray>

class CPushMsgAssembler
{
public:
    static constexpr int kMaxMessageBytes = 1024 * 1024;

    // True with the message that this read completes; false while a message
    // is held, or when the read was dropped.
    bool Feed(const QByteArray& baRead, QByteArray& baMessage);
    bool IsHolding() const { return !m_baPending.isEmpty(); }

private:
    enum Completeness
    {
        Complete,
        Incomplete
    };
    Completeness Scan();
    void Reset();
    static bool StartsMessage(const QByteArray& baRead);

    QByteArray m_baPending;
    bool m_bDropping = false; // the rest of an oversized message is still coming
    // Where the scan of the JSON payload stands, so a held message is not
    // scanned again from its start with every read.
    int m_nScanned = -1; // -1: payload start not found yet
    int m_nDepth = 0;
    bool m_bInString = false;
    bool m_bEscaped = false;
};
