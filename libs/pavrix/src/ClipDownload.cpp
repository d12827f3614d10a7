#include "ClipDownload.h"

#include "AbortHandle.h"
#include "CallbackSink.h"
#include "CloudClient.h"
#include "FrameParser.h"
#include "SdkLog.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace pavrix {

struct ClipDownload::State
{
    State(std::shared_ptr<CallbackSink> s, HttpFetcher f, Params p)
        : sink(std::move(s)), fetcher(std::move(f)), params(std::move(p))
    {
    }

    std::shared_ptr<CallbackSink> sink;
    HttpFetcher fetcher;
    Params params;
    AbortHandle abort;

    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
    bool exited = false;

    bool stopping()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopRequested;
    }
    // False once the download is stopped: nothing more reaches the host.
    bool report(unsigned int event, unsigned int errorCode, std::int64_t osdMs, const std::string& bytes)
    {
        if (stopping())
            return false;
        sink->download(params.callback, params.user, event, errorCode, osdMs,
                       bytes.empty() ? nullptr : bytes.data(), static_cast<unsigned int>(bytes.size()));
        return !stopping();
    }
    void run();
};

void ClipDownload::State::run()
{
    FrameParser parser;
    bool accepted = false;
    bool finished = false; // the end or a failure has been reported
    std::int64_t lastOsd = 0;
    std::size_t frames = 0;
    HttpOptions options;
    options.bearerToken = params.token;
    options.connectTimeoutMs = 5000;
    // The cloud sends without pause; a gap this long is a stalled cloud.
    options.readTimeoutMs = 30000;
    options.maxBody = 64u << 10; // refusal bodies only
    auto fail = [&](const SdkError& error) {
        finished = true;
        report(OPENSDK_DOWNLOAD_FAILED, static_cast<unsigned int>(error.code), lastOsd, error.desc);
    };
    auto onStatus = [&](int) {
        accepted = true;
        return !stopping();
    };
    auto onData = [&](const char* data, std::size_t size) {
        std::vector<StreamFrame> parsed;
        const bool good = parser.feed(data, size, &parsed);
        for (StreamFrame& frame : parsed) {
            if (frame.kind == StreamFrame::Picture) {
                lastOsd = frame.osdMs;
                ++frames;
                if (!report(OPENSDK_DOWNLOAD_FRAME, 0, frame.osdMs, frame.payload))
                    return false;
                continue;
            }
            if (frame.kind == StreamFrame::EndOfSpan) {
                finished = true;
                PVX_INFO("download complete: %zu frames", frames);
                report(OPENSDK_DOWNLOAD_END, 0, frame.osdMs, {});
            } else {
                HttpResponse body;
                body.body = frame.payload;
                fail(CloudClient::replyError(body));
            }
            return false;
        }
        if (!good) {
            PVX_ERROR("download stream is damaged (%s)", parser.error().c_str());
            fail({OPENSDK_ERR_BAD_REPLY, parser.error()});
            return false;
        }
        return true;
    };
    const HttpResponse response = fetcher.stream(params.url, options, abort, onStatus, onData);
    if (!finished && !stopping()) {
        if (accepted) {
            PVX_WARN("download closed without its end after %zu frames (%s)", frames,
                     response.answered() ? "connection closed" : response.failureText.c_str());
            fail({OPENSDK_ERR_NETWORK, "download closed without its end"});
        } else {
            const SdkError error = CloudClient::replyError(response);
            PVX_WARN("download refused: %d %s", error.code, error.desc.c_str());
            fail(error);
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    exited = true;
    wake.notify_all();
}

ClipDownload::ClipDownload(std::shared_ptr<CallbackSink> sink, HttpFetcher fetcher, Params params)
    : m_state(std::make_shared<State>(std::move(sink), std::move(fetcher), std::move(params)))
{
}

ClipDownload::~ClipDownload()
{
    stop(std::chrono::milliseconds(1000));
}

void ClipDownload::start()
{
    auto state = m_state;
    m_thread = std::thread([state] { state->run(); });
}

void ClipDownload::stop(std::chrono::milliseconds limit)
{
    if (m_stopped)
        return;
    m_stopped = true;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopRequested = true;
    }
    m_state->abort.abort();
    if (!m_thread.joinable())
        return;
    if (std::this_thread::get_id() == m_thread.get_id()) {
        m_thread.detach(); // holds its own reference to the state and ends after the callback
        return;
    }
    bool exited;
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        exited = m_state->wake.wait_for(lock, limit, [&] { return m_state->exited; });
    }
    if (exited) {
        m_thread.join();
    } else {
        PVX_WARN("download thread did not end within %lld ms", static_cast<long long>(limit.count()));
        m_thread.detach();
    }
}

} // namespace pavrix
