#pragma once

#include "ApiContext.h"
#include "FaultTable.h"
#include "PushServer.h"
#include "RequestLog.h"
#include "SimOptions.h"
#include "Store.h"
#include "StreamRegistry.h"

#include <memory>
#include <thread>

class PlatformApi;
class PictureService;
class DeviceCloud;
class AdminApi;

// Owns every part of the simulator and the threads that serve them.
class Simulator
{
public:
    Simulator();
    ~Simulator();

    bool start(const SimOptions& options, std::string& error);
    void stop();

private:
    bool openStore(const SimOptions& options, std::string& error);
    bool startHttps(const SimOptions& options, std::string& error);
    bool startAdmin(const SimOptions& options, std::string& error);
    Json::Value readyInfo() const;
    bool writeReadyFile(const std::string& path, const std::string& text, std::string& error);

    std::string m_dataDir;
    Store m_store;
    RequestLog m_requests;
    FaultTable m_faults;
    StreamRegistry m_streams;
    PushServer m_push;
    ApiContext m_ctx;
    std::unique_ptr<httplib::SSLServer> m_https;
    std::unique_ptr<httplib::Server> m_admin;
    std::unique_ptr<PlatformApi> m_platform;
    std::unique_ptr<PictureService> m_pictures;
    std::unique_ptr<DeviceCloud> m_cloud;
    std::unique_ptr<AdminApi> m_adminApi;
    std::thread m_httpsThread;
    std::thread m_adminThread;
    int m_httpsPort = 0;
    int m_adminPort = 0;
    std::string m_adminToken; // new for every run
    std::string m_caFile;
};
