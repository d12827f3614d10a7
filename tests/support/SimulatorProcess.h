#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// The platform simulator (MC_BIN_DIR/platform-sim) for a test: own data directory, ephemeral
// ports. Admin calls block (10 s at most) on a plain socket: any thread, no event loop needed.
class SimulatorProcess
{
public:
    explicit SimulatorProcess(QStringList extraArgs = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts it and waits for its ready file; false with errorString() on failure.
    bool start(int timeoutMs = 30000);
    void stop();
    // Ends it at once (SIGKILL), as a crash or a power cut would.
    void kill();
    // Again on the same data directory (store and tokens kept) and ports.
    bool restart(int timeoutMs = 30000);
    // Its stderr to a file for log(), not to the test's; before start().
    void keepLog() { m_keepLog = true; }
    QByteArray log() const;
    bool isRunning() const;
    QString errorString() const { return m_error; }

    QJsonObject readyInfo() const { return m_ready; }
    int httpsPort() const { return m_ready.value("https_port").toInt(); }
    int pushPort() const { return m_ready.value("push_port").toInt(); }
    int adminPort() const { return m_ready.value("admin_port").toInt(); }
    QString baseUrl() const { return m_ready.value("base_url").toString(); }
    QString cloudUrl() const { return m_ready.value("cloud_url").toString(); }
    QString adminUrl() const { return m_ready.value("admin_url").toString(); }
    QString adminToken() const { return m_ready.value("admin_token").toString(); }
    QString caFile() const { return m_ready.value("ca_file").toString(); }
    QString token() const { return m_ready.value("token").toString(); }
    QString refreshToken() const { return m_ready.value("refresh_token").toString(); }
    QString accessToken() const { return m_ready.value("access_token").toString(); }
    QString trustAccessToken() const { return m_ready.value("trust_access_token").toString(); }
    QString appKey() const { return m_ready.value("app_key").toString(); }
    QString aesKey() const { return m_ready.value("aes_key").toString(); }

    // One admin call; the reply object (empty on failure), status 0 without an answer.
    QJsonObject admin(const QByteArray& method, const QString& path, const QJsonObject& body = {},
                      int* status = nullptr);
    // Adds alarms (fields of POST /admin/alarms) and returns their ids; they are pushed too.
    QJsonArray addAlarm(const QJsonObject& fields = {});
    // Faults on a path ("*" at the end: any path starting with the rest), count -1: until cleared.
    bool setFault(const QString& path, int status, int delayMs = 0, bool drop = false, int count = -1,
                  const QString& body = {});
    bool clearFaults();
    // The last requests received on a path, oldest first: {method, path, query, headers:[[n,v]...], body}.
    QJsonArray lastRequests(const QString& path, int limit = 20);
    bool expireToken(const QString& token);
    bool takeOverLogin(const QString& token, const QString& msg = {});
    bool setDeviceOnline(const QString& serial, int channelNo, bool online);
    // action: "stall", "resume" or "end"; an empty serial means every stream.
    int controlStreams(const QString& action, const QString& serial = {}, int channelNo = -1);
    // The cameras with their real verification codes ("code") and the platform's copy ("platformCode").
    QJsonArray cameras();

private:
    bool post(const QString& path, const QJsonObject& body = {});
    bool launch(const QStringList& args, int timeoutMs);

    QStringList m_extraArgs;
    bool m_keepLog = false;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QJsonObject m_ready;
    QString m_error;
};
