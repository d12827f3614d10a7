// The platform simulator for the benchmark (started by the tests'
// SimulatorProcess), plus the platform API call that gives picture addresses.
#pragma once

#include "SimulatorProcess.h"

#include <QJsonObject>

namespace pvxtest {

class SimCloud
{
public:
    bool start(QString* why);
    QString value(const char* key) const { return m_sim.readyInfo().value(key).toString(); }
    QByteArray cloudUrl() const { return m_sim.cloudUrl().toUtf8(); }
    QByteArray caFile() const { return m_sim.caFile().toUtf8(); }
    QByteArray accessToken() const { return m_sim.accessToken().toUtf8(); }

    // Admin calls; the reply object (empty on failure).
    QJsonObject admin(const QString& path, const QJsonObject& body)
    {
        return m_sim.admin("POST", path, body);
    }
    QJsonObject adminGet(const QString& path) { return m_sim.admin("GET", path); }
    // POST to the platform API with the platform token.
    QJsonObject platform(const QString& path, const QJsonObject& body) const;

private:
    SimulatorProcess m_sim;
};

} // namespace pvxtest
