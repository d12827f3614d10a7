// The device cloud as docs/device-cloud.md describes it: where it is, how its
// addresses are built, and how its replies turn into error codes.
#pragma once

#include "HttpFetcher.h"
#include "SdkError.h"
#include "Url.h"

#include <string>
#include <vector>

namespace pavrix {

struct RecordSpan
{
    std::string start;
    std::string end;
};

struct ClipQuery
{
    std::string device;
    int channel = 1;
    std::string start;
    std::string end;
    std::string code; // verification code, streams only
};

class CloudClient
{
public:
    // $PAVRIX_CLOUD_URL (without it nothing is reachable); the playback
    // streams' picture size and rate from $PAVRIX_STREAM_FORMAT ("1280x720@25"),
    // else the cloud's default.
    static CloudClient fromEnvironment();
    CloudClient(Url base, TlsSettings tls, std::string streamFormat = {})
        : m_base(std::move(base)), m_fetcher(std::move(tls)), m_streamFormat(std::move(streamFormat))
    {
    }

    // Bounded in time; 0 with the spans in *spans, else the cloud's error.
    SdkError searchRecords(const ClipQuery& query, const std::string& token,
                           std::vector<RecordSpan>* spans) const;
    Url streamUrl(const ClipQuery& query) const;
    // The same frames, sent as fast as the connection takes them.
    Url downloadUrl(const ClipQuery& query) const;
    const HttpFetcher& fetcher() const { return m_fetcher; }

    // The reply's {"code":..,"msg":..} when it has one, else a code from the status.
    static SdkError replyError(const HttpResponse& response);
    // {"FileSize":n,"FileList":[{"StartTime":..,"EndTime":..}]}
    static std::string fileListJson(const std::vector<RecordSpan>& spans);
    static bool parseRecords(const std::string& body, std::vector<RecordSpan>* spans);
    // "<width>x<height>@<fps>" as query parameters ("&size=..&fps=.."); empty when malformed.
    static std::string streamFormatQuery(const std::string& format);

private:
    Url endpoint(const std::string& path, const std::string& query) const;
    Url framesUrl(const std::string& path, const ClipQuery& query) const;

    Url m_base;
    HttpFetcher m_fetcher;
    std::string m_streamFormat; // query parameters, may be empty
};

} // namespace pavrix
