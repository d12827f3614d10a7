#include "DeviceCloud.h"

#include "Auth.h"
#include "JsonUtil.h"
#include "Pictures.h"
#include "StreamRegistry.h"

#include <QSize>

#include <chrono>
#include <cstdlib>

namespace {

const int kDefaultFps = 5;
const int kMaxFps = 25;
const QSize kDefaultSize(320, 180);
const QSize kMaxSize(1920, 1080);

void putBigEndian(std::string& out, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

bool toInt(const std::string& text, int& value)
{
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < 0 || v > 1000000)
        return false;
    value = static_cast<int>(v);
    return true;
}

// "<width>x<height>", each from 16 up to the largest size.
bool toSize(const std::string& text, QSize& size)
{
    const size_t x = text.find('x');
    int width = 0;
    int height = 0;
    if (x == std::string::npos || !toInt(text.substr(0, x), width) || !toInt(text.substr(x + 1), height) ||
        width < 16 || height < 16 || width > kMaxSize.width() || height > kMaxSize.height())
        return false;
    size = QSize(width, height);
    return true;
}

// Sends one stream's frames, one call of the HTTP library per frame; a
// download's without waiting between them.
class StreamSender
{
public:
    StreamSender(Store& store, StreamRegistry& registry, std::shared_ptr<StreamState> state,
                 CameraRecord camera, std::vector<Span> spans, int fps, QSize size)
        : m_store(store), m_registry(registry), m_state(std::move(state)), m_camera(std::move(camera)),
          m_spans(std::move(spans)), m_intervalMs(1000 / fps),
          m_interval(m_state->download ? 0 : m_intervalMs), m_size(size)
    {
        m_at = m_spans.empty() ? 0 : m_spans.front().start;
    }
    ~StreamSender() { m_registry.close(m_state->id); }

    bool next(httplib::DataSink& sink)
    {
        // Frames are due on a fixed schedule, so drawing them does not slow the rate.
        if (m_first) {
            m_first = false;
            m_due = Clock::now();
        } else {
            m_due += m_interval;
            if (!m_registry.pace(m_state, m_due)) {
                SimUtil::log("stream %d of %s ended by request", m_state->id, m_camera.deviceSerial.c_str());
                return false; // closed without an end frame
            }
            // Stalled or held up by the reader: the schedule starts again instead of rushing.
            if (Clock::now() - m_due > m_interval)
                m_due = Clock::now();
        }
        if (!sink.is_writable())
            return false;
        CameraRecord now;
        if (m_store.camera(m_camera.deviceSerial, m_camera.channelNo, now) && !now.online) {
            Json::Value body;
            body["code"] = 502604;
            body["msg"] = "设备不在线";
            std::string f = DeviceCloud::frame(DeviceCloud::Error, m_at, JsonUtil::write(body));
            sink.write(f.data(), f.size());
            return false;
        }
        while (m_index < m_spans.size() && m_at >= m_spans[m_index].end) {
            if (++m_index < m_spans.size())
                m_at = m_spans[m_index].start; // a gap: skip to the next recording at once
        }
        if (m_index >= m_spans.size()) {
            std::string f = DeviceCloud::frame(DeviceCloud::EndOfSpan, m_at, {});
            bool ok = sink.write(f.data(), f.size());
            sink.done();
            return ok;
        }
        std::string f =
            DeviceCloud::frame(DeviceCloud::Picture, m_at,
                               Pictures::frame(m_camera.channelName, m_at, m_size.width(), m_size.height()));
        m_at += m_intervalMs;
        return sink.write(f.data(), f.size());
    }

private:
    Store& m_store;
    StreamRegistry& m_registry;
    std::shared_ptr<StreamState> m_state;
    CameraRecord m_camera;
    std::vector<Span> m_spans;
    using Clock = std::chrono::steady_clock;
    int m_intervalMs;
    std::chrono::milliseconds m_interval;
    Clock::time_point m_due;
    QSize m_size;
    size_t m_index = 0;
    int64_t m_at = 0;
    bool m_first = true;
};

} // namespace

DeviceCloud::DeviceCloud(ApiContext& context) : m_ctx(context) {}

void DeviceCloud::install(httplib::Server& server)
{
    server.Get("/cloud/v1/records",
               m_ctx.guarded([this](const httplib::Request& q, httplib::Response& r) { records(q, r); }));
    server.Get("/cloud/v1/stream", m_ctx.guarded([this](const httplib::Request& q, httplib::Response& r) {
        stream(q, r, false);
    }));
    server.Get("/cloud/v1/download", m_ctx.guarded([this](const httplib::Request& q, httplib::Response& r) {
        stream(q, r, true);
    }));
}

std::string DeviceCloud::frame(FrameKind kind, int64_t onScreenMs, const std::string& payload)
{
    std::string f = "PVXF";
    f += static_cast<char>(kind);
    putBigEndian(f, static_cast<uint64_t>(onScreenMs), 8);
    putBigEndian(f, payload.size(), 4);
    return f + payload;
}

void DeviceCloud::refuse(httplib::Response& res, int status, int code, const char* msg)
{
    Json::Value body;
    body["code"] = code;
    body["msg"] = msg;
    ApiContext::reply(res, status, body);
}

bool DeviceCloud::resolve(const httplib::Request& req, httplib::Response& res, Target& target)
{
    TokenRecord token;
    Auth::Result r = Auth::checkAccess(m_ctx.store, req, token);
    if (r != Auth::Result::Ok) {
        SimUtil::log("%s refused: %s", req.path.c_str(), Auth::describe(r));
        Auth::rejectAccess(r, res);
        return false;
    }
    int channel = 0;
    if (!toInt(req.get_param_value("channel"), channel) ||
        !SimUtil::parseLocalTime(req.get_param_value("start"), target.start) ||
        !SimUtil::parseLocalTime(req.get_param_value("end"), target.end) || target.end < target.start) {
        SimUtil::log("%s: bad parameters %s", req.path.c_str(), req.target.c_str());
        refuse(res, 400, 100002, "参数错误");
        return false;
    }
    if (!m_ctx.store.camera(req.get_param_value("device"), channel, target.camera)) {
        refuse(res, 404, 320001, "通道不存在");
        return false;
    }
    return true;
}

void DeviceCloud::records(const httplib::Request& req, httplib::Response& res)
{
    Target t;
    if (!resolve(req, res, t))
        return;
    Json::Value list(Json::arrayValue);
    for (const Span& s : m_ctx.store.recordings(t.camera.deviceSerial, t.camera.channelNo, t.start, t.end)) {
        Json::Value item;
        item["start"] = SimUtil::formatLocalTime(s.start);
        item["end"] = SimUtil::formatLocalTime(s.end);
        list.append(item);
    }
    Json::Value body;
    body["code"] = 0;
    body["records"] = list;
    ApiContext::reply(res, 200, body);
}

void DeviceCloud::stream(const httplib::Request& req, httplib::Response& res, bool download)
{
    Target t;
    if (!resolve(req, res, t))
        return;
    if (!t.camera.online) {
        refuse(res, 503, 502604, "设备不在线");
        return;
    }
    if (req.get_param_value("code") != t.camera.code) {
        SimUtil::log("stream of %s/%d refused: wrong code %s", t.camera.deviceSerial.c_str(),
                     t.camera.channelNo, SimUtil::mask(req.get_param_value("code")).c_str());
        refuse(res, 403, 502012, "验证码错误");
        return;
    }
    int fps = kDefaultFps;
    if (req.has_param("fps") && (!toInt(req.get_param_value("fps"), fps) || fps < 1)) {
        refuse(res, 400, 100002, "参数错误");
        return;
    }
    fps = std::min(fps, kMaxFps);
    QSize size = kDefaultSize;
    if (req.has_param("size") && !toSize(req.get_param_value("size"), size)) {
        refuse(res, 400, 100002, "参数错误");
        return;
    }
    std::vector<Span> spans =
        m_ctx.store.recordings(t.camera.deviceSerial, t.camera.channelNo, t.start, t.end);
    auto state = m_ctx.streams.open(t.camera.deviceSerial, t.camera.channelNo, download);
    SimUtil::log("%s %d of %s/%d: %zu recordings, %dx%d at %d fps", download ? "download" : "stream",
                 state->id, t.camera.deviceSerial.c_str(), t.camera.channelNo, spans.size(), size.width(),
                 size.height(), fps);
    auto sender =
        std::make_shared<StreamSender>(m_ctx.store, m_ctx.streams, state, t.camera, spans, fps, size);
    res.set_header("Connection", "close");
    res.set_content_provider("application/octet-stream",
                             [sender](size_t, httplib::DataSink& sink) { return sender->next(sink); });
}
