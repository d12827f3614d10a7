#include "SdkContext.h"

#include "PavrixSDK.h"
#include "SdkLog.h"
#include "Session.h"

#include <cstdlib>
#include <cstring>

namespace pavrix {

SdkContext& SdkContext::instance()
{
    static SdkContext context;
    return context;
}

SdkError SdkContext::setConfig(int key, int value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    switch (key) {
    case OPENSDK_CFG_LOG_LEVEL:
        SdkLog::setLevel(value);
        return SdkError::none();
    case OPENSDK_CFG_STREAM_TRANS:
        m_streamTransport = value;
        return SdkError::none();
    case OPENSDK_CFG_P2P_VERSION:
        m_protocolVersion = value;
        return SdkError::none();
    default:
        return {OPENSDK_ERR_BAD_PARAMETER, "unknown configuration key " + std::to_string(key)};
    }
}

SdkError SdkContext::init(const std::string& appKey)
{
    auto cloud = std::make_shared<const CloudClient>(CloudClient::fromEnvironment());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_appKey = appKey;
    m_cloud = std::move(cloud);
    m_initialised = true;
    PVX_INFO("initialised with app key %s (transport %d, protocol %d)", SdkLog::mask(appKey).c_str(),
             m_streamTransport, m_protocolVersion);
    return SdkError::none();
}

SdkError SdkContext::fini()
{
    std::shared_ptr<const CloudClient> cloud;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_initialised)
            return {OPENSDK_ERR_NOT_INITIALISED, "library not initialised"};
        m_initialised = false;
        m_accessToken.clear();
        cloud = m_cloud;
    }
    for (auto& session : m_sessions.removeAll())
        session->close();
    if (cloud)
        cloud->fetcher().closeIdleConnections();
    return SdkError::none();
}

bool SdkContext::initialised() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_initialised;
}

void SdkContext::setAccessToken(const std::string& token)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accessToken = token;
}

std::string SdkContext::accessToken() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accessToken;
}

std::shared_ptr<const CloudClient> SdkContext::cloud() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cloud;
}

char* SdkContext::allocateBuffer(const std::string& bytes)
{
    // One spare NUL so text buffers can be read as C strings.
    auto* buffer = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (!buffer)
        return nullptr;
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    std::lock_guard<std::mutex> lock(m_bufferMutex);
    m_buffers.insert(buffer);
    return buffer;
}

bool SdkContext::freeBuffer(void* buffer)
{
    {
        std::lock_guard<std::mutex> lock(m_bufferMutex);
        if (m_buffers.erase(buffer) == 0)
            return false;
    }
    std::free(buffer);
    return true;
}

} // namespace pavrix
