// One clip download: a thread reads the cloud's frames of a span as fast as the
// cloud sends them and hands each to the host's download callback as it comes,
// neither paced nor painted; then the end or the failure, once.
#pragma once

#include "HttpFetcher.h"
#include "PavrixSDK.h"
#include "Url.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace pavrix {

class CallbackSink;

class ClipDownload
{
public:
    struct Params
    {
        Url url;
        std::string token;
        OpenSDK_DownloadCallBack callback = nullptr;
        void* user = nullptr;
    };

    ClipDownload(std::shared_ptr<CallbackSink> sink, HttpFetcher fetcher, Params params);
    ~ClipDownload();

    ClipDownload(const ClipDownload&) = delete;
    ClipDownload& operator=(const ClipDownload&) = delete;

    void start();
    // No callback of this download starts once this returns; one running on
    // another thread is waited for up to limit. Called from inside the
    // callback it returns at once and the download winds down after it.
    void stop(std::chrono::milliseconds limit);

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
    bool m_stopped = false;
};

} // namespace pavrix
