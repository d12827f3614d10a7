// The host's line to the module driver inside the module's process
// (tools/module-driver), for the demo and the tests.
#pragma once

#include <QObject>
#include <QString>

class QLocalSocket;

class ModuleDriverLink : public QObject
{
    Q_OBJECT
public:
    explicit ModuleDriverLink(QObject* parent = nullptr);

    void setServerName(const QString& name) { m_serverName = name; }
    QString serverName() const { return m_serverName; }

    // Sends one command; false when the driver cannot be reached.
    bool send(const QString& line);

signals:
    void answered(const QString& answer);

private:
    QLocalSocket* m_socket;
    QString m_serverName;
};
