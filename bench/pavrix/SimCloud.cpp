#include "SimCloud.h"

#include <QJsonDocument>

#include <httplib.h>

namespace pvxtest {

bool SimCloud::start(QString* why)
{
    if (m_sim.start())
        return true;
    *why = m_sim.errorString();
    return false;
}

QJsonObject SimCloud::platform(const QString& path, const QJsonObject& body) const
{
    httplib::Client client(m_sim.baseUrl().toStdString());
    client.set_read_timeout(10, 0);
    client.set_ca_cert_path(m_sim.caFile().toStdString());
    client.enable_server_certificate_verification(true);
    const httplib::Headers headers{{"Authorization", "Bearer " + m_sim.token().toStdString()},
                                   {"userType", "enterprise"}};
    const std::string payload = QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    auto result = client.Post(path.toStdString().c_str(), headers, payload, "application/json");
    if (!result)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

} // namespace pvxtest
