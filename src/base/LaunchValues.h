// The process-wide values the host hands over at launch, read by every part of
// the module and rewritten by token refresh.
#pragma once

#include <functional>
#include <string>

struct LaunchValues
{
    std::string Token;
    std::string RefreshToken;
    std::string ServerUrl;
    std::string Appkey;
    std::string AccessToken;
    std::string TrustAccessToken;
    std::string AesKey;
    std::string CfgPath;

    // Worker threads read while the GUI thread may refresh tokens, so every
    // access goes through a copy or an update under one lock.
    static LaunchValues snapshot();
    static void update(const std::function<void(LaunchValues&)>& fnChange);
    static void reset();
};
