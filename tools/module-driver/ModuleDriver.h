// Drives the module's widgets from outside, for the demo and the tests: a
// local server inside the module's process that clicks and types into widgets
// named by their object names, as an operator would.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;
class QLocalSocket;
class QWidget;

class ModuleDriver : public QObject
{
    Q_OBJECT
public:
    explicit ModuleDriver(QObject* parent = nullptr);

    bool listen(const QString& serverName);

    // One command line: the answer ("OK ..." or "ERROR ...") and what to do.
    static QString prepare(const QString& line, std::function<void()>& action);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    static QString prepareGesture(const QString& line, const QStringList& words, QWidget* widget,
                                  std::function<void()>& action);

    QLocalServer* m_server;
};
