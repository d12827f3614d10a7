#include "ApiContext.h"

#include "FaultTable.h"
#include "JsonUtil.h"
#include "RequestLog.h"
#include "RequestTap.h"

#include <chrono>
#include <exception>
#include <thread>

ApiContext::ApiContext(Store& s, RequestLog& r, FaultTable& f, StreamRegistry& st, PushServer& p)
    : store(s), requests(r), faults(f), streams(st), push(p)
{
}

ApiContext::Handler ApiContext::guarded(Handler inner)
{
    return [this, inner](const httplib::Request& req, httplib::Response& res) {
        LoggedRequest logged;
        logged.timeMs = SimUtil::nowMs();
        logged.method = req.method;
        logged.path = req.path;
        size_t q = req.target.find('?');
        logged.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
        if (!req.ssl || !RequestTap::takeHead(req.ssl, logged.headers)) {
            for (const auto& h : req.headers)
                logged.headers.emplace_back(h.first, h.second);
        }
        logged.body = req.body;
        requests.add(std::move(logged));
        if (applyFault(req, res))
            return;
        try {
            inner(req, res);
        } catch (const std::exception& e) {
            SimUtil::log("%s %s: bad input: %s", req.method.c_str(), req.path.c_str(), e.what());
            badRequest(res, e.what());
        }
    };
}

bool ApiContext::applyFault(const httplib::Request& req, httplib::Response& res)
{
    Fault fault;
    if (!faults.take(req.path, fault))
        return false;
    SimUtil::log("fault on %s: status %d delay %d ms%s", req.path.c_str(), fault.status, fault.delayMs,
                 fault.drop ? " drop" : "");
    if (fault.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
    if (fault.drop) {
        if (req.ssl)
            RequestTap::dropConnection(req.ssl);
        // Without a socket to close, a body that never comes ends the exchange just as abruptly.
        res.set_content_provider(1024, "application/json",
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
        return true;
    }
    if (fault.status == 0)
        return false;
    res.status = fault.status;
    if (!fault.body.empty()) {
        res.set_content(fault.body, "application/json;charset=UTF-8");
    } else {
        Json::Value body;
        body["code"] = std::to_string(fault.status);
        body["msg"] = "injected fault";
        reply(res, fault.status, body);
    }
    if (fault.padTo > static_cast<int64_t>(res.body.size()))
        res.body.append(static_cast<size_t>(fault.padTo) - res.body.size(), ' ');
    return true;
}

void ApiContext::reply(httplib::Response& res, int status, const Json::Value& body)
{
    res.status = status;
    res.set_content(JsonUtil::write(body), "application/json;charset=UTF-8");
}

void ApiContext::envelope(httplib::Response& res, const char* code, const char* msg, const Json::Value& data)
{
    Json::Value body;
    body["code"] = code;
    body["msg"] = msg;
    if (!data.isNull())
        body["data"] = data;
    reply(res, 200, body);
}

void ApiContext::badRequest(httplib::Response& res, const std::string& why)
{
    Json::Value body;
    body["code"] = "10001";
    body["msg"] = "参数错误: " + why;
    reply(res, 400, body);
}

bool ApiContext::jsonBody(const httplib::Request& req, httplib::Response& res, Json::Value& body,
                          bool emptyOk)
{
    if (req.body.empty() && emptyOk) {
        body = Json::Value(Json::objectValue);
        return true;
    }
    std::string error;
    if (!JsonUtil::parse(req.body, body, &error) || !body.isObject()) {
        SimUtil::log("%s: malformed JSON body (%zu bytes)", req.path.c_str(), req.body.size());
        badRequest(res, error.empty() ? "body is not a JSON object" : "malformed JSON");
        return false;
    }
    return true;
}

std::string ApiContext::pictureCacheControl() const
{
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    return m_pictureCacheControl;
}

void ApiContext::setPictureCacheControl(const std::string& value)
{
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    m_pictureCacheControl = value;
}
