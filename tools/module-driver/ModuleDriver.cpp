#include "ModuleDriver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

ModuleDriver::ModuleDriver(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &ModuleDriver::onNewConnection);
}

bool ModuleDriver::listen(const QString& serverName)
{
    QLocalServer::removeServer(serverName);
    return m_server->listen(serverName);
}

void ModuleDriver::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ModuleDriver::onReadyRead(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        // The answer goes out before the action runs: a click may open a modal
        // dialog, whose event loop would hold the answer back until it closes.
        std::function<void()> action;
        const QString answer = prepare(line, action);
        socket->write(answer.toUtf8() + '\n');
        socket->flush();
        if (action) {
            QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
        }
    }
}

QWidget* ModuleDriver::findVisible(const QString& objectName)
{
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* widget : widgets) {
        if (widget->objectName() == objectName && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

namespace {

void sendKey(QWidget* widget, int key)
{
    QPointer<QWidget> guard(widget);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    if (guard) {
        QApplication::sendEvent(guard, &release);
    }
}

void sendClick(QWidget* widget)
{
    QPointer<QWidget> guard(widget);
    const QPoint centre = widget->rect().center();
    const QPoint global = widget->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    if (guard) {
        QApplication::sendEvent(guard, &release);
    }
}

} // namespace

QString ModuleDriver::prepare(const QString& line, std::function<void()>& action)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    if (verb == QLatin1String("visible") && words.size() == 2) {
        return QStringLiteral("OK %1 %2").arg(line).arg(findVisible(words.at(1)) ? 1 : 0);
    }
    if ((verb != QLatin1String("click") || words.size() != 2) &&
        (verb != QLatin1String("key") || words.size() != 3)) {
        return QStringLiteral("ERROR unknown command: %1").arg(line);
    }
    QPointer<QWidget> widget = findVisible(words.at(1));
    if (!widget) {
        return QStringLiteral("ERROR no visible widget %1").arg(words.at(1));
    }
    if (verb == QLatin1String("click")) {
        action = [widget]() {
            if (widget) {
                sendClick(widget);
            }
        };
        return QStringLiteral("OK ") + line;
    }
    const QKeySequence sequence = QKeySequence::fromString(words.at(2));
    if (sequence.isEmpty()) {
        return QStringLiteral("ERROR unknown key %1").arg(words.at(2));
    }
    const int key = sequence[0] & ~Qt::KeyboardModifierMask;
    action = [widget, key]() {
        if (widget) {
            sendKey(widget, key);
        }
    };
    return QStringLiteral("OK ") + line;
}

// Qt loads this library into an application started with QT_LOAD_TESTABILITY=1
// and calls this once the application object exists.
extern "C" Q_DECL_EXPORT void qt_testability_init()
{
    const QString serverName = qEnvironmentVariable("MC_MODULE_DRIVER");
    if (serverName.isEmpty()) {
        return;
    }
    auto* driver = new ModuleDriver(QCoreApplication::instance());
    if (!driver->listen(serverName)) {
        qWarning("module driver: cannot listen on %s", qPrintable(serverName));
    }
}
