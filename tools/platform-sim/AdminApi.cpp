#include "AdminApi.h"

#include "FaultTable.h"
#include "JsonUtil.h"
#include "PushServer.h"
#include "RequestLog.h"
#include "RequestTap.h"
#include "Seeder.h"
#include "Store.h"
#include "StreamRegistry.h"

#include <exception>

AdminApi::AdminApi(ApiContext& context, Json::Value readyInfo)
    : m_ctx(context), m_readyInfo(std::move(readyInfo))
{
}

void AdminApi::ok(httplib::Response& res, Json::Value body)
{
    body["ok"] = true;
    ApiContext::reply(res, 200, body);
}

void AdminApi::fail(httplib::Response& res, int status, const std::string& why)
{
    Json::Value body;
    body["ok"] = false;
    body["error"] = why;
    ApiContext::reply(res, status, body);
}

void AdminApi::route(httplib::Server& server, const char* method, const char* path, Handler handler)
{
    auto wrapped = [this, handler](const httplib::Request& req, httplib::Response& res) {
        Json::Value body(Json::objectValue);
        if (!req.body.empty() && (!JsonUtil::parse(req.body, body) || !body.isObject())) {
            SimUtil::log("admin %s: body is not a JSON object", req.path.c_str());
            fail(res, 400, "body is not a JSON object");
            return;
        }
        try {
            (this->*handler)(req, res, body);
        } catch (const std::exception& e) {
            SimUtil::log("admin %s: %s", req.path.c_str(), e.what());
            fail(res, 400, e.what());
        }
    };
    if (std::string(method) == "GET")
        server.Get(path, wrapped);
    else
        server.Post(path, wrapped);
}

bool AdminApi::authorized(const httplib::Request& req) const
{
    // Same time for every wrong guess: compare all of it.
    const std::string expected = "Bearer " + m_readyInfo["admin_token"].asString();
    const std::string given = req.get_header_value("Authorization");
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (size_t i = 0; i < expected.size(); ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
    return diff == 0;
}

void AdminApi::install(httplib::Server& server)
{
    // Loopback is not enough: a web page in a local browser can post there too.
    // Every call, known path or not, needs this run's token.
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (authorized(req))
            return httplib::Server::HandlerResponse::Unhandled;
        SimUtil::log("admin %s %s: refused, no valid admin token", req.method.c_str(), req.path.c_str());
        fail(res, 401, "admin token missing or wrong");
        // The body was not read; the connection cannot carry another request.
        res.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    });
    route(server, "GET", "/admin/info", &AdminApi::info);
    route(server, "POST", "/admin/alarms", &AdminApi::addAlarms);
    route(server, "POST", "/admin/tokens/expire", &AdminApi::tokenAction);
    route(server, "POST", "/admin/tokens/revoke", &AdminApi::tokenAction);
    route(server, "POST", "/admin/login/takeover", &AdminApi::tokenAction);
    route(server, "POST", "/admin/faults", &AdminApi::setFault);
    route(server, "POST", "/admin/faults/clear", &AdminApi::clearFaults);
    route(server, "POST", "/admin/faults/reset", &AdminApi::clearFaults);
    route(server, "GET", "/admin/streams", &AdminApi::streams);
    route(server, "POST", "/admin/streams", &AdminApi::streams);
    route(server, "POST", "/admin/devices", &AdminApi::device);
    route(server, "GET", "/admin/cameras", &AdminApi::cameras);
    route(server, "GET", "/admin/requests", &AdminApi::requests);
    route(server, "POST", "/admin/requests/clear", &AdminApi::clearRequests);
    route(server, "GET", "/admin/push/clients", &AdminApi::pushClients);
    route(server, "POST", "/admin/push/send", &AdminApi::pushSend);
    route(server, "POST", "/admin/push/close", &AdminApi::pushClose);
    route(server, "POST", "/admin/pictures/expire", &AdminApi::expirePicture);
    route(server, "POST", "/admin/pictures/caching", &AdminApi::pictureCaching);
    route(server, "GET", "/admin/connections", &AdminApi::connections);
    route(server, "POST", "/admin/connections/close", &AdminApi::connections);
}

void AdminApi::info(const httplib::Request&, httplib::Response& res, const Json::Value&)
{
    ok(res, m_readyInfo);
}

std::string AdminApi::alarmPayload(int64_t id, const std::string& type, const std::string& serial,
                                   int channelNo, int64_t alarmTime)
{
    Json::Value v;
    v["msgId"] = static_cast<Json::Int64>(id);
    v["alarmType"] = type;
    v["deviceSerial"] = serial;
    v["channelNo"] = channelNo;
    v["alarmTime"] = static_cast<Json::Int64>(alarmTime);
    return JsonUtil::write(v);
}

void AdminApi::addAlarms(const httplib::Request&, httplib::Response& res, const Json::Value& body)
{
    int count = body.get("count", 1).asInt();
    if (count < 1 || count > 100000)
        return fail(res, 400, "\"count\" must be 1 to 100000");
    std::vector<CameraRecord> cams = m_ctx.store.cameras();
    std::string serial = body.get("deviceSerial", "").asString();
    int channel = body.get("channelNo", 1).asInt();
    CameraRecord camera;
    if (serial.empty()) {
        if (cams.empty())
            return fail(res, 409, "no cameras");
        camera = cams.front();
    } else if (!m_ctx.store.camera(serial, channel, camera)) {
        return fail(res, 404, "no such camera");
    }
    std::string user = body.get("user", "demo").asString();
    int userId = user == "second" ? Seeder::kSecondUser : Seeder::kDemoUser;
    std::string type = body.get("alarmType", Seeder::kAlarmTypes[0]).asString();
    int64_t time = body.isMember("alarmTime") ? body["alarmTime"].asInt64() : SimUtil::nowMs();
    bool read = body.get("isRead", false).asBool();
    bool push = body.get("push", true).asBool();
    Json::Value ids(Json::arrayValue);
    int pushed = 0;
    for (int i = 0; i < count; ++i) {
        // Several at once are a second apart, newest last.
        int64_t t = time - static_cast<int64_t>(count - 1 - i) * 1000;
        int64_t id = Seeder::createAlarm(m_ctx.store, userId, camera, type, t, read);
        if (body.get("expired", false).asBool() || body.get("redirect", false).asBool()) {
            AlarmRecord a;
            m_ctx.store.alarm(id, a);
            m_ctx.store.addPicture(a.picKey, body.get("expired", false).asBool(),
                                   body.get("redirect", false).asBool());
        }
        ids.append(static_cast<Json::Int64>(id));
        if (push)
            pushed += m_ctx.push.broadcast(alarmPayload(id, type, camera.deviceSerial, camera.channelNo, t));
    }
    SimUtil::log("admin: %d alarm(s) added on %s/%d, %d push deliveries", count, camera.deviceSerial.c_str(),
                 camera.channelNo, pushed);
    Json::Value reply;
    reply["ids"] = ids;
    reply["pushed"] = pushed;
    ok(res, reply);
}

void AdminApi::tokenAction(const httplib::Request& req, httplib::Response& res, const Json::Value& body)
{
    std::string token = body.get("token", "").asString();
    bool found = false;
    if (req.path == "/admin/tokens/expire")
        found = m_ctx.store.expireToken(token);
    else if (req.path == "/admin/tokens/revoke")
        found = m_ctx.store.revokeToken(token);
    else
        found = m_ctx.store.takeOverToken(token, body.get("msg", "").asString());
    if (!found)
        return fail(res, 404, "unknown token");
    SimUtil::log("admin: %s %s", req.path.c_str(), SimUtil::mask(token).c_str());
    ok(res);
}

void AdminApi::setFault(const httplib::Request&, httplib::Response& res, const Json::Value& body)
{
    std::string path = body.get("path", "").asString();
    if (path.empty() || path[0] != '/')
        return fail(res, 400, "\"path\" must start with /");
    Fault f;
    f.status = body.get("status", 0).asInt();
    f.delayMs = body.get("delayMs", 0).asInt();
    f.drop = body.get("drop", false).asBool();
    f.remaining = body.get("count", -1).asInt();
    f.body = body.get("body", "").asString();
    f.padTo = body.get("padTo", 0).asInt64();
    if ((f.status != 0 && (f.status < 100 || f.status > 599)) || f.delayMs < 0 || f.delayMs > 600000 ||
        f.remaining == 0 || f.padTo < 0 || f.padTo > kMaxPadTo)
        return fail(res, 400, "bad fault");
    m_ctx.faults.set(path, f);
    SimUtil::log("admin: fault on %s", path.c_str());
    ok(res);
}

void AdminApi::clearFaults(const httplib::Request& req, httplib::Response& res, const Json::Value& body)
{
    if (req.path == "/admin/faults/reset" || !body.isMember("path"))
        m_ctx.faults.reset();
    else
        m_ctx.faults.clear(body["path"].asString());
    ok(res);
}

void AdminApi::streams(const httplib::Request& req, httplib::Response& res, const Json::Value& body)
{
    Json::Value reply;
    if (req.method == "POST") {
        int matched =
            m_ctx.streams.control(body.get("action", "").asString(), body.get("deviceSerial", "").asString(),
                                  body.get("channelNo", -1).asInt());
        if (matched < 0)
            return fail(res, 400, "\"action\" is stall, resume, end or hold");
        reply["matched"] = matched;
    }
    reply["streams"] = Json::Value(Json::arrayValue);
    for (const StreamState& s : m_ctx.streams.list()) {
        Json::Value v;
        v["id"] = s.id;
        v["deviceSerial"] = s.deviceSerial;
        v["channelNo"] = s.channelNo;
        v["stalled"] = s.stalled;
        v["download"] = s.download;
        reply["streams"].append(v);
    }
    ok(res, reply);
}

void AdminApi::device(const httplib::Request&, httplib::Response& res, const Json::Value& body)
{
    if (!m_ctx.store.setCameraOnline(body.get("deviceSerial", "").asString(),
                                     body.get("channelNo", -1).asInt(), body.get("online", true).asBool()))
        return fail(res, 404, "no such camera");
    ok(res);
}

void AdminApi::cameras(const httplib::Request&, httplib::Response& res, const Json::Value&)
{
    Json::Value list(Json::arrayValue);
    for (const CameraRecord& c : m_ctx.store.cameras()) {
        Json::Value v;
        v["deviceSerial"] = c.deviceSerial;
        v["channelNo"] = c.channelNo;
        v["channelName"] = c.channelName;
        v["deviceName"] = c.deviceName;
        v["orgId"] = c.orgId;
        v["code"] = c.code;
        v["platformCode"] = c.platformCode;
        v["encrypted"] = c.encrypted;
        v["trusted"] = c.trusted;
        v["online"] = c.online;
        list.append(v);
    }
    Json::Value reply;
    reply["cameras"] = list;
    ok(res, reply);
}

void AdminApi::requests(const httplib::Request& req, httplib::Response& res, const Json::Value&)
{
    std::string path = req.get_param_value("path");
    size_t limit = req.has_param("limit") ? std::stoul(req.get_param_value("limit")) : 20;
    Json::Value reply;
    reply["requests"] = Json::Value(Json::arrayValue);
    for (const LoggedRequest& r : m_ctx.requests.recent(path, limit)) {
        Json::Value v;
        v["time"] = static_cast<Json::Int64>(r.timeMs);
        v["method"] = r.method;
        v["path"] = r.path;
        v["query"] = r.query;
        v["headers"] = Json::Value(Json::arrayValue);
        for (const auto& h : r.headers) {
            Json::Value pair(Json::arrayValue);
            pair.append(h.first);
            pair.append(h.second);
            v["headers"].append(pair);
        }
        v["body"] = r.body;
        reply["requests"].append(v);
    }
    reply["paths"] = Json::Value(Json::arrayValue);
    for (const std::string& p : m_ctx.requests.paths())
        reply["paths"].append(p);
    ok(res, reply);
}

void AdminApi::clearRequests(const httplib::Request&, httplib::Response& res, const Json::Value&)
{
    m_ctx.requests.clear();
    ok(res);
}

void AdminApi::pushClients(const httplib::Request&, httplib::Response& res, const Json::Value&)
{
    Json::Value reply;
    reply["clients"] = Json::Value(Json::arrayValue);
    for (const PushServer::ClientInfo& c : m_ctx.push.clients()) {
        Json::Value v;
        v["id"] = c.id;
        v["peer"] = c.peer;
        v["starts"] = c.starts;
        v["heartbeats"] = c.heartbeats;
        v["lastMessage"] = c.lastMessage;
        reply["clients"].append(v);
    }
    ok(res, reply);
}

void AdminApi::pushSend(const httplib::Request&, httplib::Response& res, const Json::Value& body)
{
    const std::string text = body.get("text", "").asString();
    const int64_t splitAt = body.get("splitAt", 0).asInt64();
    const int pauseMs = body.get("pauseMs", 200).asInt();
    if (text.empty() || splitAt < 0 || pauseMs < 0 || pauseMs > 10000)
        return fail(res, 400, "\"text\" needed; \"splitAt\" >= 0, \"pauseMs\" 0..10000");
    Json::Value reply;
    reply["sent"] = m_ctx.push.sendRaw(text, static_cast<size_t>(splitAt), pauseMs);
    ok(res, reply);
}

void AdminApi::pushClose(const httplib::Request&, httplib::Response& res, const Json::Value&)
{
    Json::Value reply;
    reply["closed"] = m_ctx.push.closeClients();
    ok(res, reply);
}

void AdminApi::expirePicture(const httplib::Request&, httplib::Response& res, const Json::Value& body)
{
    AlarmRecord a;
    if (!m_ctx.store.alarm(body.get("alarmId", 0).asInt64(), a))
        return fail(res, 404, "no such alarm");
    m_ctx.store.setPictureExpired(a.picKey, body.get("expired", true).asBool());
    ok(res);
}

void AdminApi::pictureCaching(const httplib::Request&, httplib::Response& res, const Json::Value& body)
{
    if (!body.isMember("cacheControl") || !body["cacheControl"].isString())
        return fail(res, 400, "cacheControl (text) missing");
    m_ctx.setPictureCacheControl(body["cacheControl"].asString());
    ok(res);
}

void AdminApi::connections(const httplib::Request& req, httplib::Response& res, const Json::Value&)
{
    Json::Value reply;
    if (req.method == "POST") {
        reply["closed"] = RequestTap::closeConnections();
        SimUtil::log("admin: %d connection(s) closed", reply["closed"].asInt());
    }
    const RequestTap::ConnectionCount count = RequestTap::connections();
    reply["accepted"] = static_cast<Json::Int64>(count.accepted);
    reply["open"] = count.open;
    ok(res, reply);
}
