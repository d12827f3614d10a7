// A failure as the C interface reports it: a code from PavrixSDK.h (or one the
// cloud sent) and a short text for logs.
#pragma once

#include <string>

namespace pavrix {

struct SdkError
{
    int code = 0;
    std::string desc;

    bool ok() const { return code == 0; }
    static SdkError none() { return {}; }
};

} // namespace pavrix
