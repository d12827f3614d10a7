#include "Session.h"

#include "CallbackSink.h"
#include "ClipDownload.h"
#include "SdkLog.h"
#include "StreamPlayer.h"

#include <thread>
#include <vector>

namespace pavrix {

namespace {

constexpr std::chrono::milliseconds kCallbackDrainLimit{500};
constexpr std::chrono::milliseconds kStopLimit{500};

SdkError notPlaying()
{
    return {OPENSDK_ERR_NOT_PLAYING, "no playback on this session"};
}

} // namespace

Session::Session(std::string id, OpenSDK_MessageHandler handler, void* user)
    : m_sink(std::make_shared<CallbackSink>(std::move(id), handler, user))
{
}

Session::~Session()
{
    close();
}

const std::string& Session::id() const
{
    return m_sink->sessionId();
}

void Session::setDataCallback(OpenSDK_DataCallBack callback, void* user)
{
    m_sink->setDataCallback(callback, user);
}

SdkError Session::search(const CloudClient& cloud, const ClipQuery& query, const std::string& token)
{
    std::vector<RecordSpan> spans;
    const SdkError error = cloud.searchRecords(query, token, &spans);
    if (error.code == OPENSDK_ERR_NO_CHANNEL)
        return error;
    if (!error.ok())
        PVX_WARN("record search of %s/%d failed: %d %s", query.device.c_str(), query.channel, error.code,
                 error.desc.c_str());
    // The result is the host's to read on another thread, as if it had come
    // from the device later. The thread holds only the callbacks.
    auto sink = m_sink;
    std::string text = error.ok() ? CloudClient::fileListJson(spans) : error.desc;
    std::thread([sink, error, text] {
        if (error.ok())
            sink->message(OPENSDK_MSG_SEARCH_RESULT, 0, text.c_str());
        else
            sink->message(OPENSDK_MSG_SEARCH_FAILED, static_cast<unsigned int>(error.code), text.c_str());
    }).detach();
    return SdkError::none();
}

std::unique_ptr<StreamPlayer> Session::takePlayer()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::move(m_player);
}

SdkError Session::play(const CloudClient& cloud, const ClipQuery& query, const std::string& token,
                       unsigned long long windowId)
{
    // Stopping waits for the old player's threads, which may be calling the host,
    // which may call back in here: never stop under the lock.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return {OPENSDK_ERR_NO_SESSION, "session is being freed"};
    }
    if (auto old = takePlayer())
        old->stop(kStopLimit);

    StreamPlayer::Params params{cloud.streamUrl(query), token, windowId};
    auto player = std::make_unique<StreamPlayer>(m_sink, cloud.fetcher(), params);
    player->start();
    std::unique_ptr<StreamPlayer> replaced;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) {
            replaced = std::move(player);
        } else {
            replaced = std::move(m_player); // a concurrent start got in first
            m_player = std::move(player);
        }
    }
    if (replaced)
        replaced->stop(kStopLimit);
    return SdkError::none();
}

SdkError Session::pause()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_player)
        return notPlaying();
    m_player->pause();
    return SdkError::none();
}

SdkError Session::resume()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_player)
        return notPlaying();
    m_player->resume();
    return SdkError::none();
}

void Session::stop()
{
    if (auto player = takePlayer())
        player->stop(kStopLimit);
}

SdkError Session::osdTime(std::int64_t* msSinceEpoch) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_player || !m_player->osdTime(msSinceEpoch))
        return {OPENSDK_ERR_NOT_PLAYING, "no picture shown yet"};
    return SdkError::none();
}

std::unique_ptr<ClipDownload> Session::takeDownload()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::move(m_download);
}

SdkError Session::download(const CloudClient& cloud, const ClipQuery& query, const std::string& token,
                           OpenSDK_DownloadCallBack callback, void* user)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return {OPENSDK_ERR_NO_SESSION, "session is being freed"};
    }
    // As with playback: the old download's thread may be inside the host, which
    // may call in here, so it is never stopped under the lock.
    if (auto old = takeDownload())
        old->stop(kStopLimit);
    ClipDownload::Params params{cloud.downloadUrl(query), token, callback, user};
    auto download = std::make_unique<ClipDownload>(m_sink, cloud.fetcher(), params);
    download->start();
    std::unique_ptr<ClipDownload> replaced;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) {
            replaced = std::move(download);
        } else {
            replaced = std::move(m_download);
            m_download = std::move(download);
        }
    }
    if (replaced)
        replaced->stop(kStopLimit);
    return SdkError::none();
}

void Session::stopDownload()
{
    if (auto download = takeDownload())
        download->stop(kStopLimit);
}

void Session::close()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        m_closed = true;
    }
    if (!m_sink->close(kCallbackDrainLimit))
        PVX_WARN("session %s: a callback still runs after %lld ms", id().c_str(),
                 static_cast<long long>(kCallbackDrainLimit.count()));
    stop();
    stopDownload();
}

} // namespace pavrix
