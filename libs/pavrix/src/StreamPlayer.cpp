#include "StreamPlayer.h"

#include "AbortHandle.h"
#include "CallbackSink.h"
#include "CloudClient.h"
#include "FrameParser.h"
#include "FrameRenderer.h"
#include "PavrixSDK.h"
#include "SdkLog.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace pavrix {

namespace {

using Clock = std::chrono::steady_clock;

// A gap between two frames longer than this is a gap in the recording, which
// is skipped rather than waited out.
constexpr std::chrono::milliseconds kMaxFrameGap{1000};
// Further behind than this, delivery restarts its clock instead of rushing.
constexpr std::chrono::milliseconds kMaxLag{500};

struct PlayEvent
{
    enum Type
    {
        Accepted,
        Frame,
        End,
        Failed,
        Abnormal
    };
    Type type = Frame;
    StreamFrame frame;
    SdkError error;
};

} // namespace

struct StreamPlayer::State
{
    State(std::shared_ptr<CallbackSink> s, HttpFetcher f, Params p)
        : sink(std::move(s)), fetcher(std::move(f)), params(std::move(p)), renderer(params.windowId)
    {
    }

    std::shared_ptr<CallbackSink> sink;
    HttpFetcher fetcher;
    Params params;
    FrameRenderer renderer;
    AbortHandle abort;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<PlayEvent> queue;
    std::size_t queuedBytes = 0;
    bool paused = false;
    bool stopRequested = false;
    bool readerExited = false;
    bool delivererExited = false;
    bool hasOsd = false;
    std::int64_t osdMs = 0;

    // Reader side.
    bool push(PlayEvent event);
    void read();

    // Delivery side.
    bool nextEvent(PlayEvent* event);
    bool waitForTurn(Clock::time_point* pace);
    void deliver();
    void deliverFrame(StreamFrame& frame);
};

bool StreamPlayer::State::push(PlayEvent event)
{
    std::unique_lock<std::mutex> lock(mutex);
    const std::size_t size = event.frame.payload.size();
    wake.wait(lock, [&] { return stopRequested || queue.empty() || queuedBytes + size <= kMaxQueuedBytes; });
    if (stopRequested)
        return false;
    queuedBytes += size;
    queue.push_back(std::move(event));
    wake.notify_all();
    return true;
}

void StreamPlayer::State::read()
{
    FrameParser parser;
    bool accepted = false;
    bool finished = false; // an end, error or damaged frame was queued
    HttpOptions options;
    options.bearerToken = params.token;
    options.connectTimeoutMs = 5000;
    // A stalled stream is waited for; only stop or free end the wait.
    options.readTimeoutMs = 3600 * 1000;
    options.maxBody = 64u << 10; // refusal bodies only
    auto onStatus = [&](int) {
        accepted = true;
        return push({PlayEvent::Accepted, {}, {}});
    };
    auto onData = [&](const char* data, std::size_t size) {
        std::vector<StreamFrame> frames;
        const bool good = parser.feed(data, size, &frames);
        for (auto& frame : frames) {
            const auto kind = frame.kind;
            if (kind == StreamFrame::Picture) {
                if (!push({PlayEvent::Frame, std::move(frame), {}}))
                    return false;
                continue;
            }
            finished = true;
            if (kind == StreamFrame::EndOfSpan) {
                push({PlayEvent::End, {}, {}});
            } else {
                HttpResponse body;
                body.body = frame.payload;
                SdkError error = CloudClient::replyError(body);
                push({PlayEvent::Failed, {}, error});
            }
            return false;
        }
        if (!good) {
            PVX_ERROR("playback stream is damaged (%s); ending it", parser.error().c_str());
            finished = true;
            push({PlayEvent::Abnormal, {}, {OPENSDK_ERR_BAD_REPLY, parser.error()}});
            return false;
        }
        return true;
    };
    const HttpResponse response = fetcher.stream(params.url, options, abort, onStatus, onData);

    bool stopping;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = stopRequested;
    }
    if (!stopping && !finished) {
        if (accepted) {
            PVX_WARN("playback stream closed without its end (%s)",
                     response.answered() ? "connection closed" : response.failureText.c_str());
            push({PlayEvent::Abnormal, {}, {OPENSDK_ERR_NETWORK, "stream closed without its end"}});
        } else {
            const SdkError error = CloudClient::replyError(response);
            PVX_WARN("playback refused: %d %s", error.code, error.desc.c_str());
            push({PlayEvent::Failed, {}, error});
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    readerExited = true;
    wake.notify_all();
}

bool StreamPlayer::State::nextEvent(PlayEvent* event)
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait(lock, [&] {
        return stopRequested || (!queue.empty() && !(paused && queue.front().type == PlayEvent::Frame));
    });
    if (stopRequested)
        return false;
    *event = std::move(queue.front());
    queue.pop_front();
    queuedBytes -= event->frame.payload.size();
    wake.notify_all();
    return true;
}

// Waits until *pace while not paused; false when stopped. A pause restarts
// the pace so that resuming does not rush through the frames held meanwhile.
bool StreamPlayer::State::waitForTurn(Clock::time_point* pace)
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_until(lock, *pace, [&] { return stopRequested || paused; });
    if (paused) {
        wake.wait(lock, [&] { return stopRequested || !paused; });
        *pace = Clock::now();
    }
    // Far behind (a slow host callback): restart the clock instead of rushing.
    *pace = std::max(*pace, Clock::now() - kMaxLag);
    return !stopRequested;
}

void StreamPlayer::State::deliverFrame(StreamFrame& frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        osdMs = frame.osdMs;
        hasOsd = true;
    }
    renderer.present(frame.payload);
    sink->data(OPENSDK_DATA_FRAME, frame.payload.empty() ? nullptr : &frame.payload[0],
               static_cast<unsigned int>(frame.payload.size()));
}

void StreamPlayer::State::deliver()
{
    bool ended = false;
    bool first = true;
    Clock::time_point pace = Clock::now();
    std::int64_t lastOsd = 0;
    PlayEvent event;
    while (!ended && nextEvent(&event)) {
        switch (event.type) {
        case PlayEvent::Accepted:
            sink->message(OPENSDK_MSG_PLAY_STARTED, 0);
            break;
        case PlayEvent::Frame:
            if (first) {
                pace = Clock::now();
            } else {
                const auto gap = std::chrono::milliseconds(event.frame.osdMs - lastOsd);
                pace += std::min(std::max(gap, std::chrono::milliseconds(0)), kMaxFrameGap);
                if (!waitForTurn(&pace))
                    break; // stopped: the loop ends at the next event
            }
            first = false;
            lastOsd = event.frame.osdMs;
            deliverFrame(event.frame);
            break;
        case PlayEvent::End:
            sink->message(OPENSDK_MSG_PLAY_END, 0);
            sink->message(OPENSDK_MSG_PLAY_STOPPED, 0);
            ended = true;
            break;
        case PlayEvent::Failed:
            sink->message(OPENSDK_MSG_PLAY_FAILED, static_cast<unsigned int>(event.error.code),
                          event.error.desc.c_str());
            ended = true;
            break;
        case PlayEvent::Abnormal:
            sink->message(OPENSDK_MSG_PLAY_ABNORMAL_END, static_cast<unsigned int>(event.error.code));
            ended = true;
            break;
        }
    }
    if (!ended)
        sink->message(OPENSDK_MSG_PLAY_STOPPED, OPENSDK_ERR_PLAY_STOPPED_BY_USER);
    std::lock_guard<std::mutex> lock(mutex);
    delivererExited = true;
    wake.notify_all();
}

StreamPlayer::StreamPlayer(std::shared_ptr<CallbackSink> sink, HttpFetcher fetcher, Params params)
    : m_state(std::make_shared<State>(std::move(sink), std::move(fetcher), std::move(params)))
{
}

StreamPlayer::~StreamPlayer()
{
    stop(std::chrono::milliseconds(1000));
}

void StreamPlayer::start()
{
    auto state = m_state;
    m_deliverer = std::thread([state] { state->deliver(); });
    m_reader = std::thread([state] { state->read(); });
}

void StreamPlayer::pause()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->paused = true;
    m_state->wake.notify_all();
}

void StreamPlayer::resume()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->paused = false;
    m_state->wake.notify_all();
}

void StreamPlayer::stop(std::chrono::milliseconds limit)
{
    if (m_stopped)
        return;
    m_stopped = true;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopRequested = true;
        m_state->wake.notify_all();
    }
    m_state->abort.abort();
    const auto self = std::this_thread::get_id();
    const bool fromInside = self == m_deliverer.get_id() || self == m_reader.get_id();
    const auto deadline = Clock::now() + limit;
    bool exited = false;
    if (!fromInside) {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        while (!(exited = m_state->readerExited && m_state->delivererExited) && Clock::now() < deadline) {
            m_state->wake.wait_for(lock, std::chrono::milliseconds(50));
        }
    }
    for (std::thread* t : {&m_reader, &m_deliverer}) {
        if (!t->joinable())
            continue;
        if (exited)
            t->join();
        else
            t->detach(); // holds its own reference to the state and winds down alone
    }
    if (!exited && !fromInside)
        PVX_WARN("playback threads did not end within %lld ms", static_cast<long long>(limit.count()));
}

bool StreamPlayer::osdTime(std::int64_t* msSinceEpoch) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (!m_state->hasOsd)
        return false;
    *msSinceEpoch = m_state->osdMs;
    return true;
}

} // namespace pavrix
