#include "SimCloud.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <httplib.h>

namespace pvxtest {

SimCloud::~SimCloud()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000))
            m_process->kill();
        m_process->waitForFinished(2000);
    }
}

bool SimCloud::start(QString* why)
{
    const QString program = QDir(qEnvironmentVariable("MC_BIN_DIR")).filePath("platform-sim");
    if (!QFile::exists(program)) {
        *why = "no simulator at " + program + " (set MC_BIN_DIR)";
        return false;
    }
    const QString readyFile = m_dir.filePath("ready.json");
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(m_dir.filePath("sim.log"));
    m_process->start(program, {"--data-dir", m_dir.filePath("data"), "--ready-file", readyFile});
    if (!m_process->waitForStarted(10000)) {
        *why = "simulator did not start";
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        QFile file(readyFile);
        if (file.open(QIODevice::ReadOnly)) {
            m_ready = QJsonDocument::fromJson(file.readAll()).object();
            if (!m_ready.isEmpty())
                return true;
        }
        if (m_process->state() == QProcess::NotRunning) {
            *why = "simulator exited before it was ready";
            return false;
        }
        QThread::msleep(50);
    }
    *why = "simulator not ready within 30 s";
    return false;
}

QJsonObject SimCloud::admin(const QString& path, const QJsonObject& body) const
{
    return post(value("admin_url"), path, body, false);
}

QJsonObject SimCloud::adminGet(const QString& path) const
{
    httplib::Client client(value("admin_url").toStdString());
    client.set_read_timeout(10, 0);
    auto result = client.Get(path.toStdString().c_str());
    if (!result)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

QJsonObject SimCloud::platform(const QString& path, const QJsonObject& body) const
{
    return post(value("base_url"), path, body, true);
}

QJsonObject SimCloud::post(const QString& base, const QString& path, const QJsonObject& body,
                           bool platform) const
{
    httplib::Client client(base.toStdString());
    client.set_read_timeout(10, 0);
    httplib::Headers headers;
    if (platform) {
        client.set_ca_cert_path(caFile().toStdString());
        client.enable_server_certificate_verification(true);
        headers.emplace("Authorization", "Bearer " + value("token").toStdString());
        headers.emplace("userType", "enterprise");
    }
    const std::string payload = QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    auto result = client.Post(path.toStdString().c_str(), headers, payload, "application/json");
    if (!result)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

} // namespace pvxtest
