#include "Simulator.h"

#include "AdminApi.h"
#include "Certificates.h"
#include "DeviceCloud.h"
#include "JsonUtil.h"
#include "PictureService.h"
#include "PlatformApi.h"
#include "Seeder.h"

#include <QDir>
#include <QFileInfo>

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <sys/stat.h>

namespace {

// A worker serves one connection at a time: a stream for its whole length, a
// kept-alive connection until it has been idle for the keep-alive time (5 s).
// Each client process keeps several (the module's manager 6, the video library
// 6), and a benchmark opens 30 at once.
const size_t kHttpsWorkers = 128;
// A page of snapshots opens many connections at once; past the backlog, SYNs
// are dropped and come back a second later.
const int kListenBacklog = 128;

// The HTTP library is built with a backlog of 5 and takes no other; listen()
// again on the bound socket raises it.
void raiseBacklog(int fd)
{
    if (fd < 0 || ::listen(fd, kListenBacklog) != 0)
        SimUtil::log("cannot raise the listen backlog to %d", kListenBacklog);
}

} // namespace

Simulator::Simulator() : m_ctx(m_store, m_requests, m_faults, m_streams, m_push) {}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::openStore(const SimOptions& options, std::string& error)
{
    if (!m_store.open(m_dataDir + "/platform.db", error))
        return false;
    if (m_store.isEmpty()) {
        auto began = std::chrono::steady_clock::now();
        Seeder seeder(m_store);
        seeder.seedAccounts();
        seeder.seedDirectory();
        if (options.seed == "demo")
            seeder.seedDemoAlarms();
        else if (options.seed == "large")
            seeder.seedLarge(options.largeCount);
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
        SimUtil::log("seeded \"%s\" in %lld ms", options.seed.c_str(), static_cast<long long>(ms.count()));
    }
    m_ctx.aesKey = m_store.setting("aes_key");
    return true;
}

bool Simulator::startHttps(const SimOptions& options, std::string& error)
{
    Certificates certs(m_dataDir);
    if (!certs.ensure(error))
        return false;
    m_caFile = certs.caFile();
    m_https = std::make_unique<httplib::SSLServer>(certs.certFile().c_str(), certs.keyFile().c_str());
    if (!m_https->is_valid()) {
        error = "TLS set-up failed with " + certs.certFile();
        return false;
    }
    m_https->new_task_queue = [] { return new httplib::ThreadPool(kHttpsWorkers); };
    m_https->set_payload_max_length(16 * 1024 * 1024);
    m_https->set_read_timeout(30);
    m_https->set_write_timeout(30);
    m_https->set_keep_alive_max_count(1000);
    // Headers and body go out in separate writes; without this, delayed ACKs add 40 ms to replies.
    m_https->set_tcp_nodelay(true);
    auto listenFd = std::make_shared<int>(-1);
    m_https->set_socket_options([listenFd](int fd) {
        httplib::default_socket_options(fd);
        *listenFd = fd;
    });
    if (options.port == 0)
        m_httpsPort = m_https->bind_to_any_port(options.host);
    else
        m_httpsPort = m_https->bind_to_port(options.host, options.port) ? options.port : -1;
    if (m_httpsPort <= 0) {
        error = "cannot listen on " + options.host + ":" + std::to_string(options.port);
        return false;
    }
    raiseBacklog(*listenFd);
    m_ctx.host = options.host;
    m_ctx.baseUrl = "https://" + options.host + ":" + std::to_string(m_httpsPort);
    m_platform = std::make_unique<PlatformApi>(m_ctx);
    m_pictures = std::make_unique<PictureService>(m_ctx);
    m_cloud = std::make_unique<DeviceCloud>(m_ctx);
    m_platform->install(*m_https);
    m_pictures->install(*m_https);
    m_cloud->install(*m_https);
    m_https->set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.status == 404 && res.body.empty()) {
            SimUtil::log("%s %s: no such path", req.method.c_str(), req.path.c_str());
            ApiContext::envelope(res, "404", "no such path");
            res.status = 404;
        }
    });
    m_httpsThread = std::thread([this] { m_https->listen_after_bind(); });
    return true;
}

bool Simulator::startAdmin(const SimOptions& options, std::string& error)
{
    m_admin = std::make_unique<httplib::Server>();
    m_admin->set_tcp_nodelay(true);
    // Admin access is for this machine only, whatever host the platform listens on.
    if (options.adminPort == 0)
        m_adminPort = m_admin->bind_to_any_port("127.0.0.1");
    else
        m_adminPort = m_admin->bind_to_port("127.0.0.1", options.adminPort) ? options.adminPort : -1;
    if (m_adminPort <= 0) {
        error = "cannot listen on the admin port " + std::to_string(options.adminPort);
        return false;
    }
    m_adminToken = SimUtil::randomHex(16);
    m_adminApi = std::make_unique<AdminApi>(m_ctx, readyInfo());
    m_adminApi->install(*m_admin);
    m_adminThread = std::thread([this] { m_admin->listen_after_bind(); });
    return true;
}

Json::Value Simulator::readyInfo() const
{
    Json::Value v;
    v["https_port"] = m_httpsPort;
    v["push_port"] = m_push.port();
    v["admin_port"] = m_adminPort;
    v["base_url"] = m_ctx.baseUrl;
    v["cloud_url"] = m_ctx.baseUrl + "/cloud";
    v["admin_url"] = "http://127.0.0.1:" + std::to_string(m_adminPort);
    v["admin_token"] = m_adminToken;
    v["ca_file"] = m_caFile;
    Store& store = const_cast<Store&>(m_store);
    for (const char* key : {"token", "refresh_token", "access_token", "trust_access_token"})
        v[key] = store.setting(key);
    v["app_key"] = store.setting("app_key");
    v["aes_key"] = store.setting("aes_key");
    v["second_user_token"] = store.setting("second_user_token");
    return v;
}

bool Simulator::writeReadyFile(const std::string& path, const std::string& text, std::string& error)
{
    std::string tmp = path + ".tmp";
    // It holds the tokens and the admin token: for this user only.
    FILE* f = fopen(tmp.c_str(), "wb");
    if (f)
        fchmod(fileno(f), 0600);
    if (!f) {
        error = "cannot write " + tmp;
        return false;
    }
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fclose(f) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool Simulator::start(const SimOptions& options, std::string& error)
{
    if (!QDir().mkpath(QString::fromStdString(options.dataDir))) {
        error = "cannot create " + options.dataDir;
        return false;
    }
    m_dataDir = QFileInfo(QString::fromStdString(options.dataDir)).absoluteFilePath().toStdString();
    if (!openStore(options, error) || !m_push.start(options.host, options.pushPort, error))
        return false;
    m_ctx.pushPort = m_push.port();
    if (!startHttps(options, error) || !startAdmin(options, error))
        return false;
    for (int i = 0; i < 500 && !(m_https->is_running() && m_admin->is_running()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string text = JsonUtil::write(readyInfo());
    if (!options.readyFile.empty() && !writeReadyFile(options.readyFile, text, error))
        return false;
    printf("platform-sim ready %s\n", text.c_str());
    fflush(stdout);
    return true;
}

void Simulator::stop()
{
    m_streams.stopAll();
    if (m_https)
        m_https->stop();
    if (m_admin)
        m_admin->stop();
    if (m_httpsThread.joinable())
        m_httpsThread.join();
    if (m_adminThread.joinable())
        m_adminThread.join();
    m_push.stop();
}
