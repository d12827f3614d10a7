#include "PictureService.h"

#include "Auth.h"
#include "CodeCipher.h"
#include "JsonUtil.h"
#include "Pictures.h"

#include <cstdlib>

PictureService::PictureService(ApiContext& context) : m_ctx(context) {}

std::string PictureService::urlFor(ApiContext& ctx, const AlarmRecord& a)
{
    PictureRecord picture;
    ctx.store.picture(a.picKey, picture);
    return ctx.baseUrl + (picture.redirect ? "/pictures/r/" : "/pictures/") + a.picKey +
           ".jpg?alarmId=" + std::to_string(a.id) + "&isEncrypted=" + (a.encrypted ? "1" : "0") +
           "&size=640x360";
}

std::string PictureService::jpegFor(Store& store, const AlarmRecord& a)
{
    PictureRecord picture;
    store.picture(a.picKey, picture);
    if (!picture.jpeg.empty())
        return picture.jpeg;
    CameraRecord camera;
    std::string name =
        store.camera(a.deviceSerial, a.channelNo, camera) ? camera.channelName : a.deviceSerial;
    std::string jpeg = Pictures::snapshot(name, a.alarmType, a.alarmTime);
    store.setPictureJpeg(a.picKey, jpeg);
    return jpeg;
}

void PictureService::install(httplib::Server& server)
{
    server.Get(R"(/pictures/r/([0-9A-Za-z_-]+)\.jpg)",
               m_ctx.guarded([this](const httplib::Request& q, httplib::Response& r) { redirect(q, r); }));
    server.Get(R"(/pictures/([0-9A-Za-z_-]+)\.jpg)",
               m_ctx.guarded([this](const httplib::Request& q, httplib::Response& r) { serve(q, r); }));
}

void PictureService::redirect(const httplib::Request& req, httplib::Response& res)
{
    size_t q = req.target.find('?');
    std::string query = q == std::string::npos ? std::string() : req.target.substr(q);
    res.set_redirect(m_ctx.baseUrl + "/pictures/" + req.matches[1].str() + ".jpg" + query, 302);
}

void PictureService::serve(const httplib::Request& req, httplib::Response& res)
{
    std::string key = req.matches[1].str();
    AlarmRecord alarm;
    int64_t id = std::strtoll(req.get_param_value("alarmId").c_str(), nullptr, 10);
    PictureRecord picture;
    m_ctx.store.picture(key, picture);
    if (!m_ctx.store.alarm(id, alarm) || alarm.picKey != key || picture.expired) {
        Json::Value body;
        body["code"] = "404";
        body["msg"] = "图片不存在或已过期";
        ApiContext::reply(res, 404, body);
        res.set_header("Cache-Control", "no-store");
        return;
    }
    // A snapshot never changes; clients may keep it as long as this says.
    const std::string cacheControl = m_ctx.pictureCacheControl();
    if (!alarm.encrypted) {
        res.set_content(jpegFor(m_ctx.store, alarm), "image/jpeg");
        if (!cacheControl.empty())
            res.set_header("Cache-Control", cacheControl);
        return;
    }
    TokenRecord token;
    Auth::Result r = Auth::checkAccess(m_ctx.store, req, token);
    if (r != Auth::Result::Ok) {
        SimUtil::log("picture %s refused: %s", key.c_str(), Auth::describe(r));
        Auth::rejectAccess(r, res);
        return;
    }
    CameraRecord camera;
    if (!m_ctx.store.camera(alarm.deviceSerial, alarm.channelNo, camera)) {
        ApiContext::reply(res, 404, Json::Value("camera gone"));
        return;
    }
    res.set_content(CodeCipher::encryptPicture(jpegFor(m_ctx.store, alarm), camera.code),
                    "application/octet-stream");
    if (!cacheControl.empty())
        res.set_header("Cache-Control", cacheControl);
}
