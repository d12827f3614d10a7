#include "StreamRegistry.h"

#include <algorithm>

namespace {

bool matches(const std::string& serial, int channelNo, const std::string& wantSerial, int wantChannel)
{
    return wantSerial.empty() || (serial == wantSerial && (wantChannel < 0 || channelNo == wantChannel));
}

} // namespace

std::shared_ptr<StreamState> StreamRegistry::open(const std::string& serial, int channelNo, bool download)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto s = std::make_shared<StreamState>();
    s->id = m_nextId++;
    s->deviceSerial = serial;
    s->channelNo = channelNo;
    s->download = download;
    for (const auto& hold : m_holds)
        s->stalled = s->stalled || matches(serial, channelNo, hold.first, hold.second);
    m_streams[s->id] = s;
    return s;
}

void StreamRegistry::close(int id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streams.erase(id);
}

int StreamRegistry::control(const std::string& action, const std::string& serial, int channelNo)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (action == "hold") {
        m_holds.emplace_back(serial, channelNo);
        return 0;
    }
    if (action == "resume") {
        m_holds.erase(std::remove_if(m_holds.begin(), m_holds.end(),
                                     [&](const auto& hold) {
                                         return matches(hold.first, hold.second, serial, channelNo);
                                     }),
                      m_holds.end());
    }
    int matched = 0;
    for (auto& entry : m_streams) {
        StreamState& s = *entry.second;
        if (!matches(s.deviceSerial, s.channelNo, serial, channelNo))
            continue;
        if (action == "stall")
            s.stalled = true;
        else if (action == "resume")
            s.stalled = false;
        else if (action == "end")
            s.ended = true;
        else
            return -1;
        ++matched;
    }
    m_wake.notify_all();
    return matched;
}

std::vector<StreamState> StreamRegistry::list()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<StreamState> out;
    for (auto& entry : m_streams)
        out.push_back(*entry.second);
    return out;
}

bool StreamRegistry::pace(const std::shared_ptr<StreamState>& stream,
                          std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_until(lock, until, [&] { return m_stopping || stream->ended; });
    m_wake.wait(lock, [&] { return m_stopping || stream->ended || !stream->stalled; });
    return !m_stopping && !stream->ended;
}

void StreamRegistry::stopAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}
