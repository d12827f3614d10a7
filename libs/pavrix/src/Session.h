// One session of the host: its callbacks, its record searches, at most one
// playback and at most one clip download at a time.
#pragma once

#include "CloudClient.h"
#include "PavrixSDK.h"
#include "SdkError.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace pavrix {

class CallbackSink;
class ClipDownload;
class StreamPlayer;

class Session
{
public:
    Session(std::string id, OpenSDK_MessageHandler handler, void* user);
    ~Session();

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& id() const;
    void setDataCallback(OpenSDK_DataCallBack callback, void* user);

    // Asks the cloud now; an unknown device or channel fails the call, any other
    // outcome arrives as message 20 or 22 on a thread of the session's own.
    SdkError search(const CloudClient& cloud, const ClipQuery& query, const std::string& token);
    // Replaces a running playback.
    SdkError play(const CloudClient& cloud, const ClipQuery& query, const std::string& token,
                  unsigned long long windowId);
    SdkError pause();
    SdkError resume();
    void stop();
    SdkError osdTime(std::int64_t* msSinceEpoch) const;
    // A clip download beside the playback; replaces a running download.
    SdkError download(const CloudClient& cloud, const ClipQuery& query, const std::string& token,
                      OpenSDK_DownloadCallBack callback, void* user);
    void stopDownload();

    // No callback runs once this returns (except one the caller is inside).
    void close();

private:
    std::unique_ptr<StreamPlayer> takePlayer();
    std::unique_ptr<ClipDownload> takeDownload();

    std::shared_ptr<CallbackSink> m_sink;
    mutable std::mutex m_mutex;
    std::unique_ptr<StreamPlayer> m_player;
    std::unique_ptr<ClipDownload> m_download;
    bool m_closed = false;
};

} // namespace pavrix
