#include "Auth.h"

#include "JsonUtil.h"

namespace {

std::string bearer(const httplib::Request& req)
{
    std::string value = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    return value.compare(0, prefix.size(), prefix) == 0 ? value.substr(prefix.size()) : std::string();
}

} // namespace

Auth::Result Auth::check(Store& store, const httplib::Request& req, TokenRecord& token, bool access)
{
    std::string value = bearer(req);
    if (value.empty())
        return Result::Missing;
    if (!store.findToken(value, token))
        return Result::Unknown;
    bool kindOk = access ? (token.kind == "access" || token.kind == "trust") : token.kind == "token";
    if (!kindOk)
        return Result::Unknown;
    if (token.takenOver)
        return Result::TakenOver;
    if (token.revoked)
        return Result::Revoked;
    if (token.expiresMs <= SimUtil::nowMs())
        return Result::Expired;
    return Result::Ok;
}

Auth::Result Auth::checkPlatform(Store& store, const httplib::Request& req, TokenRecord& token)
{
    Result r = check(store, req, token, false);
    if (r == Result::Ok && req.get_header_value("userType") != "enterprise")
        return Result::WrongUserType;
    return r;
}

Auth::Result Auth::checkAccess(Store& store, const httplib::Request& req, TokenRecord& token)
{
    return check(store, req, token, true);
}

const char* Auth::describe(Result result)
{
    switch (result) {
    case Result::Ok:
        return "ok";
    case Result::Missing:
        return "no bearer token";
    case Result::Unknown:
        return "unknown token";
    case Result::Expired:
        return "expired token";
    case Result::Revoked:
        return "revoked token";
    case Result::TakenOver:
        return "login taken over";
    case Result::WrongUserType:
        return "userType is not enterprise";
    }
    return "?";
}

void Auth::rejectPlatform(Result result, const TokenRecord& token, httplib::Response& res)
{
    Json::Value body;
    if (result == Result::WrongUserType) {
        res.status = 403;
        body["code"] = "10031";
        body["msg"] = "不支持的用户类型";
    } else if (result == Result::TakenOver) {
        res.status = 401;
        body["code"] = 401;
        body["msg"] = token.takeoverMsg.empty() ? "您的账号已在其他地方登录" : token.takeoverMsg;
    } else {
        res.status = 401;
        body["code"] = result == Result::Expired ? 10002 : 10001;
        body["msg"] = result == Result::Expired ? "token已过期" : "token无效";
    }
    res.set_content(JsonUtil::write(body), "application/json;charset=UTF-8");
}

void Auth::rejectAccess(Result, httplib::Response& res)
{
    Json::Value body;
    res.status = 401;
    body["code"] = 310002;
    body["msg"] = "accessToken无效或已过期";
    res.set_content(JsonUtil::write(body), "application/json;charset=UTF-8");
}
