#pragma once

#include "ApiContext.h"
#include "Store.h"

#include <memory>

struct StreamState;

// The device cloud under /cloud that the video SDK stand-in talks to: recording
// search, a paced stream of JPEG frames and the same frames as a download sent
// as fast as the client reads (docs/device-cloud.md).
class DeviceCloud
{
public:
    explicit DeviceCloud(ApiContext& context);
    void install(httplib::Server& server);

    enum FrameKind
    {
        Picture = 1,
        EndOfSpan = 2,
        Error = 3
    };
    static std::string frame(FrameKind kind, int64_t onScreenMs, const std::string& payload);

private:
    struct Target
    {
        CameraRecord camera;
        int64_t start = 0;
        int64_t end = 0;
    };
    // Checks token, parameters and device; on failure the reply is written and false returned.
    bool resolve(const httplib::Request& req, httplib::Response& res, Target& target);
    void records(const httplib::Request& req, httplib::Response& res);
    void stream(const httplib::Request& req, httplib::Response& res, bool download);
    static void refuse(httplib::Response& res, int status, int code, const char* msg);

    ApiContext& m_ctx;
};
