// Records what the library reports to one session's callbacks, for tests and
// tools that drive it through the C interface.
#pragma once

#include "PavrixSDK.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace pvxtest {

struct Message
{
    unsigned int type;
    unsigned int code;
    std::string text;
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
        if (sessionId.empty())
            return 0;
        const int result = OpenSDK_FreeSession(sessionId.c_str());
        sessionId.clear();
        return result;
    }

    std::vector<Message> messages() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

    // Waits for a message of that type; returns its index or -1 after the timeout.
    int waitFor(unsigned int type, int timeoutMs = 10000, std::size_t from = 0) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        int index = -1;
        changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (std::size_t i = from; i < received.size(); ++i) {
                if (received[i].type == type) {
                    index = static_cast<int>(i);
                    return true;
                }
            }
            return false;
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

    int callbackCount() const { return callbacks; }

    std::string sessionId;
    std::function<void(const Message&)> onMessageHook; // runs on the library's thread
    std::atomic<int> callbacks{0};
    std::atomic<int> badFrames{0};

private:
    static void onMessage(const char* session, unsigned int type, unsigned int code, const char* text,
                          void* user)
    {
        auto* self = static_cast<SdkProbe*>(user);
        ++self->callbacks;
        Message message{type, code, text ? text : ""};
        if (!session || self->sessionId != session)
            message.type = 9999; // marks a message for the wrong session
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->received.push_back(message);
        }
        self->changed.notify_all();
        if (self->onMessageHook)
            self->onMessageHook(message);
    }

    static void onData(unsigned int type, char* data, unsigned int size, void* user)
    {
        auto* self = static_cast<SdkProbe*>(user);
        ++self->callbacks;
        if (type != OPENSDK_DATA_FRAME)
            return;
        // Every frame handed over is a whole JPEG.
        if (size < 4 || static_cast<unsigned char>(data[0]) != 0xFF ||
            static_cast<unsigned char>(data[1]) != 0xD8)
            ++self->badFrames;
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            ++self->frames;
        }
        self->changed.notify_all();
    }

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Message> received;
    int frames = 0;
};

} // namespace pvxtest
