// Last error of the calling thread, as OpenSDK_GetLastErrorCode/Desc read it.
#pragma once

#include "SdkError.h"

namespace pavrix {

class ErrorState
{
public:
    static void set(int code, const std::string& desc);
    static void set(const SdkError& error) { set(error.code, error.desc); }
    static void clear();
    static int code();
    static const char* desc();
};

} // namespace pavrix
