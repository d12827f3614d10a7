#pragma once

#include "Store.h"

#include <httplib.h>

// Bearer-token checks of the platform and of the device cloud.
class Auth
{
public:
    enum class Result
    {
        Ok,
        Missing,
        Unknown,
        Expired,
        Revoked,
        TakenOver,
        WrongUserType
    };

    // A platform request: "Authorization: Bearer <token>" with a login token and
    // "userType: enterprise".
    static Result checkPlatform(Store& store, const httplib::Request& req, TokenRecord& token);
    // The device cloud and encrypted pictures: an open-platform or trusted access token.
    static Result checkAccess(Store& store, const httplib::Request& req, TokenRecord& token);
    // Writes the platform's refusal; "code" is a number so that clients reading it as one can.
    static void rejectPlatform(Result result, const TokenRecord& token, httplib::Response& res);
    static void rejectAccess(Result result, httplib::Response& res);
    static const char* describe(Result result);

private:
    static Result check(Store& store, const httplib::Request& req, TokenRecord& token, bool access);
};
