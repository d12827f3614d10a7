// Log lines of the module go out under its tag with the qualified function
// name the call site gives.
#pragma once

#include "logkit/LogKit.h"

#define MC_LOG(level, function, format, ...)                                                                 \
    LogWrite(level, "MessageClient", format, __LINE__, function, ##__VA_ARGS__)
