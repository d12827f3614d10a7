#pragma once

#include <httplib.h>
#include <json/json.h>

#include <functional>
#include <mutex>
#include <string>

class Store;
class RequestLog;
class FaultTable;
class StreamRegistry;
class PushServer;

// What the HTTP front ends share: the store, the admin-steered state and the
// addresses the replies must name.
class ApiContext
{
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    ApiContext(Store& store, RequestLog& requests, FaultTable& faults, StreamRegistry& streams,
               PushServer& push);

    Store& store;
    RequestLog& requests;
    FaultTable& faults;
    StreamRegistry& streams;
    PushServer& push;

    std::string baseUrl; // https://127.0.0.1:<port>, no trailing slash
    std::string host;
    int pushPort = 0;
    std::string aesKey;

    // The Cache-Control header of picture answers (admin-steered; empty: none).
    std::string pictureCacheControl() const;
    void setPictureCacheControl(const std::string& value);

    // Logs the request, applies any fault set for its path and turns a thrown
    // error into a 400 reply, so no handler can take the server down.
    Handler guarded(Handler inner);

    static void reply(httplib::Response& res, int status, const Json::Value& body);
    // The platform envelope: "code" text, "msg", and "data" when given.
    static void envelope(httplib::Response& res, const char* code, const char* msg,
                         const Json::Value& data = Json::Value());
    static void badRequest(httplib::Response& res, const std::string& why);
    // Parses a JSON object body; on failure answers 400 and returns false.
    static bool jsonBody(const httplib::Request& req, httplib::Response& res, Json::Value& body,
                         bool emptyOk);

private:
    mutable std::mutex m_cacheMutex;
    std::string m_pictureCacheControl = "private, max-age=86400";

    bool applyFault(const httplib::Request& req, httplib::Response& res);
};
