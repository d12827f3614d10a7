#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One playback stream being sent, as the admin interface can steer it.
struct StreamState
{
    int id = 0;
    std::string deviceSerial;
    int channelNo = 0;
    bool download = false; // sent as fast as the client reads, not in real time
    bool stalled = false;
    bool ended = false; // close now without an end frame
};

// The streams in flight. Senders wait here while stalled; the admin interface
// stalls, resumes or ends them, and stopping the server wakes everyone. A held
// camera's streams open stalled: they send their first frame and wait.
class StreamRegistry
{
public:
    std::shared_ptr<StreamState> open(const std::string& serial, int channelNo, bool download = false);
    void close(int id);
    // action: stall, resume, end, or hold (streams opened from now on start
    // stalled; resume lifts it); channel -1 or an empty serial match all.
    // Returns how many open streams matched, -1 for an unknown action.
    int control(const std::string& action, const std::string& serial, int channelNo);
    std::vector<StreamState> list();
    // Sleeps until the time given, longer while stalled; false when the stream must end at once.
    bool pace(const std::shared_ptr<StreamState>& stream, std::chrono::steady_clock::time_point until);
    void stopAll();

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<int, std::shared_ptr<StreamState>> m_streams;
    std::vector<std::pair<std::string, int>> m_holds; // serial (empty: all), channel (-1: all)
    int m_nextId = 1;
    bool m_stopping = false;
};
