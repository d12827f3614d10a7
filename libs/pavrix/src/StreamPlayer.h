// One playback: a reader thread pulls the cloud's frame stream into a bounded
// queue, a delivery thread hands frames to the host at the recording's pace and
// reports start, end, stop and failures. Pausing holds delivery; the reader goes
// on until the queue is full, so the cloud never sees an idle reader for long.
#pragma once

#include "HttpFetcher.h"
#include "Url.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace pavrix {

class CallbackSink;

class StreamPlayer
{
public:
    struct Params
    {
        Url url;
        std::string token;
        unsigned long long windowId = 0;
    };

    static constexpr std::size_t kMaxQueuedBytes = 32u << 20;

    StreamPlayer(std::shared_ptr<CallbackSink> sink, HttpFetcher fetcher, Params params);
    ~StreamPlayer();

    StreamPlayer(const StreamPlayer&) = delete;
    StreamPlayer& operator=(const StreamPlayer&) = delete;

    void start();
    void pause();
    void resume();
    // Message 4 with 502028 unless the playback had already ended. Returns within
    // about limit even when the cloud does not answer; a call from one of the
    // player's own callbacks returns at once and the player winds down after it.
    void stop(std::chrono::milliseconds limit);
    // The on-screen time of the frame now shown; false before the first frame.
    bool osdTime(std::int64_t* msSinceEpoch) const;

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::thread m_reader;
    std::thread m_deliverer;
    bool m_stopped = false;
};

} // namespace pavrix
