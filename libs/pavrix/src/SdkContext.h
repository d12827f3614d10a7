// Library-wide state behind the C interface: initialisation, configuration,
// the access token, the cloud and the sessions.
#pragma once

#include "CloudClient.h"
#include "SdkError.h"
#include "SessionRegistry.h"

#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace pavrix {

class SdkContext
{
public:
    static SdkContext& instance();

    SdkError setConfig(int key, int value);
    SdkError init(const std::string& appKey);
    SdkError fini();
    bool initialised() const;

    void setAccessToken(const std::string& token);
    std::string accessToken() const;
    // Read once at initialisation from the environment.
    std::shared_ptr<const CloudClient> cloud() const;
    SessionRegistry& sessions() { return m_sessions; }

    // Buffers handed to the host, so that OpenSDK_Data_Free refuses anything else.
    char* allocateBuffer(const std::string& bytes);
    bool freeBuffer(void* buffer);

private:
    SdkContext() = default;

    mutable std::mutex m_mutex;
    bool m_initialised = false;
    std::string m_appKey;
    std::string m_accessToken;
    int m_streamTransport = 1;
    int m_protocolVersion = 0;
    std::shared_ptr<const CloudClient> m_cloud;
    SessionRegistry m_sessions;

    std::mutex m_bufferMutex;
    std::set<void*> m_buffers;
};

} // namespace pavrix
