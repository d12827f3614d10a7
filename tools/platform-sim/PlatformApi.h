#pragma once

#include <cstdint>

#include "ApiContext.h"
#include "Store.h"

#include <map>

// The enterprise platform's REST interface: messages, permissions, token
// refresh, organisations, cameras, verification codes, push-server address.
class PlatformApi
{
public:
    explicit PlatformApi(ApiContext& context);
    void install(httplib::Server& server);

    // Token lifetimes of new logins and refreshes.
    static const int64_t kTokenLifeMs = 2LL * 3600 * 1000;
    static const int64_t kRefreshLifeMs = 30LL * 24 * 3600 * 1000;
    static const int64_t kAccessLifeMs = 7LL * 24 * 3600 * 1000;

private:
    using AuthedHandler =
        std::function<void(const httplib::Request&, httplib::Response&, const TokenRecord&)>;
    ApiContext::Handler authed(AuthedHandler inner);

    void messageList(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    bool readMessageId(const httplib::Request& req, httplib::Response& res, std::int64_t& id);
    void markRead(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void markAllRead(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void deleteOne(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void deleteBatch(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void menuInfo(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void refreshToken(const httplib::Request& req, httplib::Response& res);
    void orgTree(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void cameraPage(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void cameraInfo(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void modifyCode(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);
    void pushServerInfo(const httplib::Request& req, httplib::Response& res, const TokenRecord& token);

    bool readQuery(const Json::Value& body, AlarmQuery& query, std::string& why);
    Json::Value alarmJson(const AlarmRecord& alarm, const std::map<std::string, CameraRecord>& cameras);
    static Json::Value cameraJson(const CameraRecord& camera);

    ApiContext& m_ctx;
};
