#pragma once

#include "ApiContext.h"

// The admin interface: plain HTTP on loopback, JSON in and out, every call with
// "Authorization: Bearer <admin_token>" of the ready info. Tests and the demo
// steer the simulator through it (docs/simulator-api.md).
class AdminApi
{
public:
    AdminApi(ApiContext& context, Json::Value readyInfo);
    void install(httplib::Server& server);

    // The text pushed as "AIMSG,<payload>" for a new alarm.
    static std::string alarmPayload(int64_t id, const std::string& type, const std::string& serial,
                                    int channelNo, int64_t alarmTime);

private:
    using Handler = void (AdminApi::*)(const httplib::Request&, httplib::Response&, const Json::Value&);
    bool authorized(const httplib::Request& req) const;
    void route(httplib::Server& server, const char* method, const char* path, Handler handler);

    void addAlarms(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void tokenAction(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void setFault(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void clearFaults(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void streams(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void device(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void requests(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void clearRequests(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void pushClients(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void pushSend(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void pushClose(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void expirePicture(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void pictureCaching(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void cameras(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void connections(const httplib::Request&, httplib::Response&, const Json::Value& body);
    void info(const httplib::Request&, httplib::Response&, const Json::Value& body);

    static void ok(httplib::Response& res, Json::Value body = Json::Value(Json::objectValue));
    static void fail(httplib::Response& res, int status, const std::string& why);

    ApiContext& m_ctx;
    Json::Value m_readyInfo;
};
