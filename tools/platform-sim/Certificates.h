#pragma once

#include <string>

// The local CA and the server certificate, made once per data directory so that
// clients can keep trusting the same ca.pem across restarts.
class Certificates
{
public:
    explicit Certificates(std::string dataDir);

    // Creates what is missing; false with a reason when OpenSSL fails.
    bool ensure(std::string& error);

    std::string caFile() const { return m_dir + "/ca.pem"; }
    std::string certFile() const { return m_dir + "/server.pem"; }
    std::string keyFile() const { return m_dir + "/server-key.pem"; }

private:
    bool create(std::string& error);

    std::string m_dir;
};
