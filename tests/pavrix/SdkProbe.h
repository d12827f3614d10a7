// Records what the library reports to one session's callbacks.
#pragma once

#include "PavrixSDK.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace pvxtest {

struct Message
{
    unsigned int type, code;
};

class SdkProbe
{
public:
    ~SdkProbe() { release(); }

    // Allocates a session with this probe's callbacks; false on failure.
    bool open()
    {
        char* id = nullptr;
        int length = 0;
        if (OpenSDK_AllocSessionEx(&SdkProbe::onMessage, this, &id, &length) != 0)
            return false;
        sessionId.assign(id, static_cast<std::size_t>(length));
        OpenSDK_Data_Free(id);
        return OpenSDK_SetDataCallBack(sessionId.c_str(), &SdkProbe::onData, this) == 0;
    }

    int release()
    {
        return sessionId.empty() ? 0 : OpenSDK_FreeSession(std::exchange(sessionId, {}).c_str());
    }

    std::vector<Message> messages() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

    // Waits for a message of that type; its index, or -1 after the timeout.
    int waitFor(unsigned int type, int timeoutMs = 10000) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        int index = -1;
        changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (std::size_t i = 0; i < received.size() && index < 0; ++i)
                index = received[i].type == type ? int(i) : -1;
            return index >= 0;
        });
        return index;
    }

    bool waitForFrames(int count, int timeoutMs = 10000) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return frames >= count; });
    }

    int frameCount() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }

    std::string sessionId;
    std::atomic<int> callbacks{0};
    void (*onMessageHook)(SdkProbe*, const Message&) = nullptr; // runs on the library's thread

private:
    static void onMessage(const char*, unsigned int type, unsigned int code, const char*, void* user)
    {
        auto* self = static_cast<SdkProbe*>(user);
        ++self->callbacks;
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->received.push_back({type, code});
        }
        self->changed.notify_all();
        if (self->onMessageHook)
            self->onMessageHook(self, {type, code});
    }

    static void onData(unsigned int type, char*, unsigned int, void* user)
    {
        auto* self = static_cast<SdkProbe*>(user);
        ++self->callbacks;
        std::lock_guard<std::mutex> lock(self->mutex);
        self->frames += type == OPENSDK_DATA_FRAME ? 1 : 0;
        self->changed.notify_all();
    }

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Message> received;
    int frames = 0;
};

} // namespace pvxtest
