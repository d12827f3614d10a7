#pragma once

#include "ApiContext.h"
#include "Store.h"

// Alarm snapshots: plain JPEGs, encrypted objects for cameras that encrypt,
// 404 once expired, and a redirect for some addresses.
class PictureService
{
public:
    explicit PictureService(ApiContext& context);
    void install(httplib::Server& server);

    // The "picUrl" of an alarm; its query holds "&isEncrypted=<0|1>&".
    static std::string urlFor(ApiContext& context, const AlarmRecord& alarm);
    // The plain JPEG of an alarm, drawn on first use and kept.
    static std::string jpegFor(Store& store, const AlarmRecord& alarm);

private:
    void serve(const httplib::Request& req, httplib::Response& res);
    void redirect(const httplib::Request& req, httplib::Response& res);

    ApiContext& m_ctx;
};
