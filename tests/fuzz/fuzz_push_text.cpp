// Push-channel text: one read from the push server.
#include "FuzzCheck.h"
#include "push/CTcpConnect.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray baRead(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QByteArray baPayload("\x01untouched");
    if (CTcpConnect::TakeAlarmPayload(baRead, baPayload)) {
        FUZZ_CHECK(baRead.contains("AIMSG,"));
    } else {
        FUZZ_CHECK(baPayload == "\x01untouched");
    }
    return 0;
}
