// Starts the platform simulator from $MC_BIN_DIR on ephemeral ports and talks
// to its admin interface and platform API, for the tests that need the cloud.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace pvxtest {

class SimCloud
{
public:
    ~SimCloud();

    bool start(QString* why);
    QString value(const char* key) const { return m_ready.value(key).toString(); }
    QByteArray cloudUrl() const { return value("cloud_url").toUtf8(); }
    QByteArray caFile() const { return value("ca_file").toUtf8(); }
    QByteArray accessToken() const { return value("access_token").toUtf8(); }

    // POST to the admin interface; the reply object (empty on failure).
    QJsonObject admin(const QString& path, const QJsonObject& body) const;
    QJsonObject adminGet(const QString& path) const;
    // POST to the platform API with the platform token.
    QJsonObject platform(const QString& path, const QJsonObject& body) const;

private:
    QJsonObject post(const QString& base, const QString& path, const QJsonObject& body, bool platform) const;

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QJsonObject m_ready;
};

} // namespace pvxtest
