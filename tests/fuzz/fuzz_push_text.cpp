// Push-channel text as the connection reads it. Input: one byte giving the
// size of the reads (1 to 256), then what the server sends. Every message the
// reads complete is read for an alarm payload, as is the whole text taken as
// one read.
#include "Fuzz.h"
#include "push/CPushMsgAssembler.h"
#include "push/CTcpConnect.h"

#include <algorithm>

FUZZ_TARGET
{
    if (size == 0)
        return;
    const int nRead = data[0] + 1;
    const QByteArray baStream(reinterpret_cast<const char*>(data) + 1, static_cast<int>(size - 1));

    // A text that is no alarm leaves the payload as it was.
    const auto checkPayload = [](const QByteArray& baMessage) {
        QByteArray baPayload("\x01untouched");
        if (!CTcpConnect::TakeAlarmPayload(baMessage, baPayload))
            FUZZ_CHECK(baPayload == "\x01untouched");
    };
    CPushMsgAssembler assembler;
    for (int nPos = 0; nPos < baStream.size(); nPos += nRead) {
        const QByteArray baRead = baStream.mid(nPos, nRead);
        QByteArray baMessage;
        if (!assembler.Feed(baRead, baMessage))
            continue;
        // A message is what the server sent, never more nor pieces glued out of order.
        FUZZ_CHECK(baMessage.size() <= CPushMsgAssembler::kMaxMessageBytes && baStream.contains(baMessage));
        FUZZ_CHECK(baMessage.endsWith(baRead));
        checkPayload(baMessage);
    }
    checkPayload(baStream);
}
