#include "PlatformApi.h"

#include "Auth.h"
#include "CodeCipher.h"
#include "JsonUtil.h"
#include "PictureService.h"

#include <set>

namespace {

const char* const kOk = "200";
const char* const kSuccess = "success";

std::string cameraKey(const std::string& serial, int channel)
{
    return serial + "#" + std::to_string(channel);
}

// Optional integer member: absent keeps the default; present it must be an integer.
bool optInt(const Json::Value& body, const char* key, int& value, std::string& why)
{
    if (!body.isMember(key) || body[key].isNull())
        return true;
    if (!body[key].isInt()) {
        why = std::string("\"") + key + "\" must be an integer";
        return false;
    }
    value = body[key].asInt();
    return true;
}

bool optString(const Json::Value& body, const char* key, std::string& value, std::string& why)
{
    if (!body.isMember(key) || body[key].isNull())
        return true;
    if (!body[key].isString()) {
        why = std::string("\"") + key + "\" must be a string";
        return false;
    }
    value = body[key].asString();
    return true;
}

Json::Value pageJson(int pageNo, int size, int64_t total)
{
    Json::Value page;
    page["pageNo"] = pageNo;
    page["size"] = size;
    page["total"] = static_cast<Json::Int64>(total);
    return page;
}

} // namespace

PlatformApi::PlatformApi(ApiContext& context) : m_ctx(context) {}

ApiContext::Handler PlatformApi::authed(AuthedHandler inner)
{
    return m_ctx.guarded([this, inner](const httplib::Request& req, httplib::Response& res) {
        TokenRecord token;
        Auth::Result r = Auth::checkPlatform(m_ctx.store, req, token);
        if (r != Auth::Result::Ok) {
            SimUtil::log("%s refused: %s", req.path.c_str(), Auth::describe(r));
            Auth::rejectPlatform(r, token, res);
            return;
        }
        inner(req, res, token);
    });
}

void PlatformApi::install(httplib::Server& server)
{
    using namespace std::placeholders;
    auto bind =
        [this](void (PlatformApi::*fn)(const httplib::Request&, httplib::Response&, const TokenRecord&)) {
            return authed([this, fn](const httplib::Request& q, httplib::Response& r, const TokenRecord& t) {
                (this->*fn)(q, r, t);
            });
        };
    server.Post("/api/msg/list", bind(&PlatformApi::messageList));
    server.Post("/api/msg/update/read", bind(&PlatformApi::markRead));
    server.Post("/api/msg/update/read/all", bind(&PlatformApi::markAllRead));
    server.Post("/api/msg/delete", bind(&PlatformApi::deleteOne));
    server.Post("/api/msg/delete/batch", bind(&PlatformApi::deleteBatch));
    server.Post("/api/user/member/app/menu/info", bind(&PlatformApi::menuInfo));
    server.Post(
        "/api/user/app/refresh/token",
        m_ctx.guarded([this](const httplib::Request& q, httplib::Response& r) { refreshToken(q, r); }));
    server.Post("/api/org/tree", bind(&PlatformApi::orgTree));
    server.Post("/api/resource/v2/camera/list/page", bind(&PlatformApi::cameraPage));
    server.Post("/api/resource/v2/camera/info", bind(&PlatformApi::cameraInfo));
    server.Post("/api/resource/camera/modify/validatecode", bind(&PlatformApi::modifyCode));
    server.Post("/api/message/push/server/info", bind(&PlatformApi::pushServerInfo));
}

bool PlatformApi::readQuery(const Json::Value& body, AlarmQuery& q, std::string& why)
{
    std::string start;
    std::string end;
    if (!optInt(body, "pageNo", q.pageNo, why) || !optInt(body, "pageSize", q.pageSize, why) ||
        !optInt(body, "isRead", q.isRead, why) || !optInt(body, "isEncrypt", q.encrypted, why) ||
        !optInt(body, "channelNo", q.channelNo, why) ||
        !optString(body, "deviceSerial", q.deviceSerial, why) ||
        !optString(body, "alarmType", q.alarmType, why) || !optString(body, "startTime", start, why) ||
        !optString(body, "endTime", end, why))
        return false;
    if (q.pageNo < 1 || q.pageSize < 1 || q.pageSize > 1000) {
        why = "\"pageNo\" must be at least 1 and \"pageSize\" 1 to 1000";
        return false;
    }
    // 2 is the client's own "no filter" value; accept it as absent.
    if (q.isRead == 2)
        q.isRead = -1;
    if (q.encrypted == 2)
        q.encrypted = -1;
    if (q.isRead > 1 || q.encrypted > 1 || q.isRead < -1 || q.encrypted < -1) {
        why = "\"isRead\" and \"isEncrypt\" take 0 or 1";
        return false;
    }
    if (!start.empty() && !SimUtil::parseLocalTime(start, q.startMs)) {
        why = "\"startTime\" is not yyyy-MM-dd hh:mm:ss";
        return false;
    }
    if (!end.empty()) {
        if (!SimUtil::parseLocalTime(end, q.endMs)) {
            why = "\"endTime\" is not yyyy-MM-dd hh:mm:ss";
            return false;
        }
        q.endMs += 999; // the whole end second belongs to the window
    }
    return true;
}

Json::Value PlatformApi::alarmJson(const AlarmRecord& a, const std::map<std::string, CameraRecord>& cameras)
{
    Json::Value v;
    v["id"] = static_cast<Json::Int64>(a.id);
    v["saasUserId"] = m_ctx.store.saasUserId(a.userId);
    v["userId"] = a.userId;
    v["alarmType"] = a.alarmType;
    v["picUrl"] = PictureService::urlFor(m_ctx, a);
    v["alarmTime"] = static_cast<Json::Int64>(a.alarmTime);
    v["createDate"] = static_cast<Json::Int64>(a.createDate);
    v["deviceSerial"] = a.deviceSerial;
    v["channelNo"] = a.channelNo;
    v["isRead"] = a.isRead ? 1 : 0;
    v["isEncrypt"] = a.encrypted ? 1 : 0;
    auto it = cameras.find(cameraKey(a.deviceSerial, a.channelNo));
    if (it != cameras.end()) {
        v["deviceName"] = it->second.channelName;
        v["ipcValidateCode"] = CodeCipher::encryptValidateCode(it->second.platformCode, m_ctx.aesKey);
    } else {
        v["deviceName"] = a.deviceSerial;
        v["ipcValidateCode"] = "";
    }
    return v;
}

void PlatformApi::messageList(const httplib::Request& req, httplib::Response& res, const TokenRecord& token)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return;
    AlarmQuery q;
    std::string why;
    if (!readQuery(body, q, why)) {
        SimUtil::log("/api/msg/list: %s", why.c_str());
        ApiContext::badRequest(res, why);
        return;
    }
    q.userId = token.userId;
    int64_t total = 0;
    std::vector<AlarmRecord> rows = m_ctx.store.queryAlarms(q, total);
    std::map<std::string, CameraRecord> cameras;
    for (const CameraRecord& c : m_ctx.store.cameras())
        cameras[cameraKey(c.deviceSerial, c.channelNo)] = c;
    Json::Value data(Json::arrayValue);
    for (const AlarmRecord& a : rows)
        data.append(alarmJson(a, cameras));
    Json::Value reply;
    reply["code"] = kOk;
    reply["msg"] = kSuccess;
    reply["data"] = data;
    reply["page"] = pageJson(q.pageNo, q.pageSize, total);
    ApiContext::reply(res, 200, reply);
}

// The body {"id": n} of the single-message requests.
bool PlatformApi::readMessageId(const httplib::Request& req, httplib::Response& res, std::int64_t& id)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return false;
    if (!body.isMember("id") || !body["id"].isIntegral()) {
        ApiContext::badRequest(res, "\"id\" must be an integer");
        return false;
    }
    id = body["id"].asInt64();
    return true;
}

void PlatformApi::markRead(const httplib::Request& req, httplib::Response& res, const TokenRecord& token)
{
    std::int64_t id = 0;
    if (!readMessageId(req, res, id))
        return;
    if (!m_ctx.store.markRead(token.userId, id)) {
        ApiContext::envelope(res, "20001", "消息不存在");
        return;
    }
    ApiContext::envelope(res, kOk, kSuccess);
}

void PlatformApi::markAllRead(const httplib::Request& req, httplib::Response& res, const TokenRecord& token)
{
    Json::Value body;
    // The client sends this one without a body.
    if (!ApiContext::jsonBody(req, res, body, true))
        return;
    int changed = m_ctx.store.markAllRead(token.userId);
    Json::Value data;
    data["count"] = changed;
    ApiContext::envelope(res, kOk, kSuccess, data);
}

void PlatformApi::deleteOne(const httplib::Request& req, httplib::Response& res, const TokenRecord& token)
{
    std::int64_t id = 0;
    if (!readMessageId(req, res, id))
        return;
    if (m_ctx.store.deleteAlarms(token.userId, {id}) == 0) {
        ApiContext::envelope(res, "20001", "消息不存在");
        return;
    }
    ApiContext::envelope(res, kOk, kSuccess);
}

void PlatformApi::deleteBatch(const httplib::Request& req, httplib::Response& res, const TokenRecord& token)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return;
    const Json::Value& ids = body["ids"];
    if (!ids.isArray()) {
        ApiContext::badRequest(res, "\"ids\" must be an array of integers");
        return;
    }
    std::vector<int64_t> list;
    for (const Json::Value& id : ids) {
        if (!id.isIntegral()) {
            ApiContext::badRequest(res, "\"ids\" must be an array of integers");
            return;
        }
        list.push_back(id.asInt64());
    }
    Json::Value data;
    data["count"] = m_ctx.store.deleteAlarms(token.userId, list);
    ApiContext::envelope(res, kOk, kSuccess, data);
}

void PlatformApi::menuInfo(const httplib::Request&, httplib::Response& res, const TokenRecord& token)
{
    Json::Value data(Json::arrayValue);
    for (const auto& menu : m_ctx.store.menus(token.userId)) {
        Json::Value item;
        item["id"] = std::stoi(menu.at("id"));
        item["name"] = menu.at("name");
        item["permission"] = std::stoi(menu.at("permission"));
        data.append(item);
    }
    ApiContext::envelope(res, kOk, kSuccess, data);
}

void PlatformApi::refreshToken(const httplib::Request& req, httplib::Response& res)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return;
    std::string old = body.isMember("refreshToken") && body["refreshToken"].isString()
                          ? body["refreshToken"].asString()
                          : std::string();
    int64_t now = SimUtil::nowMs();
    std::vector<TokenRecord> fresh(3);
    fresh[0].value = SimUtil::randomHex(16), fresh[0].kind = "token", fresh[0].expiresMs = now + kTokenLifeMs;
    fresh[1].value = SimUtil::randomHex(16), fresh[1].kind = "refresh",
    fresh[1].expiresMs = now + kRefreshLifeMs;
    fresh[2].value = SimUtil::randomHex(16), fresh[2].kind = "access",
    fresh[2].expiresMs = now + kAccessLifeMs;
    if (old.empty() || !m_ctx.store.rotateTokens(old, fresh)) {
        SimUtil::log("refresh refused for %s", SimUtil::mask(old).c_str());
        ApiContext::envelope(res, "20027", "refreshToken已失效，请重新登录");
        return;
    }
    SimUtil::log("refresh: %s -> token %s", SimUtil::mask(old).c_str(),
                 SimUtil::mask(fresh[0].value).c_str());
    Json::Value data;
    data["token"] = fresh[0].value;
    data["refreshToken"] = fresh[1].value;
    data["accessToken"] = fresh[2].value;
    data["expiresIn"] = static_cast<Json::Int64>(kTokenLifeMs / 1000);
    ApiContext::envelope(res, kOk, kSuccess, data);
}

void PlatformApi::orgTree(const httplib::Request&, httplib::Response& res, const TokenRecord&)
{
    std::vector<OrgRecord> orgs = m_ctx.store.orgs();
    std::function<Json::Value(const OrgRecord&)> node = [&](const OrgRecord& org) {
        Json::Value v;
        v["id"] = org.id;
        v["parentId"] = org.parentId;
        v["name"] = org.name;
        v["children"] = Json::Value(Json::arrayValue);
        for (const OrgRecord& child : orgs) {
            if (child.parentId == org.id && child.id != org.id)
                v["children"].append(node(child));
        }
        return v;
    };
    Json::Value data(Json::arrayValue);
    for (const OrgRecord& org : orgs) {
        if (org.parentId == 0)
            data.append(node(org));
    }
    ApiContext::envelope(res, kOk, kSuccess, data);
}

Json::Value PlatformApi::cameraJson(const CameraRecord& c)
{
    Json::Value v;
    v["deviceSerial"] = c.deviceSerial;
    v["channelNo"] = c.channelNo;
    v["channelName"] = c.channelName;
    v["deviceName"] = c.deviceName;
    v["orgId"] = c.orgId;
    v["isEncrypt"] = c.encrypted ? 1 : 0;
    v["isTrust"] = c.trusted ? 1 : 0;
    v["status"] = c.online ? 1 : 0;
    return v;
}

void PlatformApi::cameraPage(const httplib::Request& req, httplib::Response& res, const TokenRecord&)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return;
    int orgId = -1;
    int pageNo = 1;
    int pageSize = 30;
    std::string name;
    std::string why;
    if (!optInt(body, "orgId", orgId, why) || !optInt(body, "pageNo", pageNo, why) ||
        !optInt(body, "pageSize", pageSize, why) || !optString(body, "channelName", name, why) ||
        pageNo < 1 || pageSize < 1 || pageSize > 1000) {
        ApiContext::badRequest(res, why.empty() ? "bad paging" : why);
        return;
    }
    // The organisation and everything below it.
    std::set<int> orgs;
    if (orgId >= 0) {
        orgs.insert(orgId);
        std::vector<OrgRecord> all = m_ctx.store.orgs();
        for (size_t grown = 1; grown;) {
            grown = 0;
            for (const OrgRecord& o : all) {
                if (orgs.count(o.parentId) && orgs.insert(o.id).second)
                    ++grown;
            }
        }
    }
    std::vector<CameraRecord> matches;
    for (const CameraRecord& c : m_ctx.store.cameras()) {
        if ((orgId < 0 || orgs.count(c.orgId)) && c.channelName.find(name) != std::string::npos)
            matches.push_back(c);
    }
    Json::Value data(Json::arrayValue);
    size_t first = static_cast<size_t>(pageNo - 1) * static_cast<size_t>(pageSize);
    for (size_t i = first; i < matches.size() && i < first + static_cast<size_t>(pageSize); ++i)
        data.append(cameraJson(matches[i]));
    Json::Value reply;
    reply["code"] = kOk;
    reply["msg"] = kSuccess;
    reply["data"] = data;
    reply["page"] = pageJson(pageNo, pageSize, static_cast<int64_t>(matches.size()));
    ApiContext::reply(res, 200, reply);
}

void PlatformApi::cameraInfo(const httplib::Request& req, httplib::Response& res, const TokenRecord&)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return;
    std::string serial;
    int channel = -1;
    std::string why;
    if (!optString(body, "deviceSerial", serial, why) || !optInt(body, "channelNo", channel, why)) {
        ApiContext::badRequest(res, why);
        return;
    }
    CameraRecord camera;
    if (!m_ctx.store.camera(serial, channel, camera)) {
        ApiContext::envelope(res, "20018", "设备不存在");
        return;
    }
    ApiContext::envelope(res, kOk, kSuccess, cameraJson(camera));
}

void PlatformApi::modifyCode(const httplib::Request& req, httplib::Response& res, const TokenRecord&)
{
    Json::Value body;
    if (!ApiContext::jsonBody(req, res, body, false))
        return;
    std::string serial;
    std::string code;
    int channel = -1;
    std::string why;
    if (!optString(body, "deviceSerial", serial, why) || !optInt(body, "channelNo", channel, why) ||
        !optString(body, "ipcValidateCode", code, why)) {
        ApiContext::badRequest(res, why);
        return;
    }
    if (code.empty() || code.size() > 15) {
        ApiContext::badRequest(res, "\"ipcValidateCode\" must have 1 to 15 characters");
        return;
    }
    if (!m_ctx.store.setPlatformCode(serial, channel, code)) {
        ApiContext::envelope(res, "20018", "设备不存在");
        return;
    }
    SimUtil::log("verification code of %s/%d stored (%s)", serial.c_str(), channel,
                 SimUtil::mask(code).c_str());
    ApiContext::envelope(res, kOk, kSuccess);
}

void PlatformApi::pushServerInfo(const httplib::Request&, httplib::Response& res, const TokenRecord&)
{
    // This service answers bare, without the envelope.
    Json::Value reply;
    reply["ip"] = m_ctx.host;
    reply["port"] = m_ctx.pushPort;
    ApiContext::reply(res, 200, reply);
}
