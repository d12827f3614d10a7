// The "yyyy-MM-dd hh:mm:ss" texts the interface and the cloud exchange, and the
// conversion of on-screen times (ms since the epoch) into local calendar fields.
#pragma once

#include <cstdint>
#include <string>

struct STREAM_TIME;

namespace pavrix {

class TimeText
{
public:
    // Shape and field ranges only; the calendar (30 February) is the cloud's concern.
    static bool isValid(const std::string& text);
    static void toLocalFields(std::int64_t msSinceEpoch, STREAM_TIME* out);
};

} // namespace pavrix
