#include "ModuleDriver.h"

#include "WidgetPath.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
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

namespace {

void sendMouse(QWidget* widget, const QPoint& pos, Qt::MouseButton button)
{
    QPointer<QWidget> guard(widget);
    const QPoint global = widget->mapToGlobal(pos);
    // The pointer goes where an operator's would: pop-ups open beside it.
    QCursor::setPos(global);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, button, button, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    if (guard) {
        QApplication::sendEvent(guard, &release);
    }
}

void sendKey(QWidget* widget, int key, const QString& text = QString())
{
    QPointer<QWidget> guard(widget);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    if (guard) {
        QApplication::sendEvent(guard, &release);
    }
}

void typeText(QWidget* widget, const QString& text)
{
    QPointer<QWidget> guard(widget);
    widget->setFocus(Qt::OtherFocusReason);
    for (const QChar c : text) {
        if (!guard) {
            return;
        }
        // Qt's key codes of printable Latin-1 are their upper-case code points.
        const int key = c.unicode() < 0x7f ? int(c.toUpper().unicode()) : int(Qt::Key_unknown);
        sendKey(guard, key, QString(c));
    }
}

QString widgetText(const QWidget* widget)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentText();
    }
    return widget->windowTitle();
}

// The tab bar of a tab widget (or the bar itself) and the middle of a tab.
QTabBar* tabBarOf(QWidget* widget)
{
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        return tabs->tabBar();
    }
    return qobject_cast<QTabBar*>(widget);
}

// With no entry text: the open menu's entries, "|" between them.
QString prepareMenu(const QString& line, const QString& text, std::function<void()>& action)
{
    QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        return QStringLiteral("ERROR no open menu");
    }
    QStringList entries;
    const QList<QAction*> actions = menu->actions();
    for (QAction* entry : actions) {
        if (!entry->isVisible() || entry->isSeparator()) {
            continue;
        }
        entries.append(entry->text());
        if (entry->text() == text) {
            const QPoint centre = menu->actionGeometry(entry).center();
            action = [menu, centre]() {
                if (menu) {
                    sendMouse(menu, centre, Qt::LeftButton);
                }
            };
            return QStringLiteral("OK ") + line;
        }
    }
    if (text.isEmpty()) {
        return QStringLiteral("OK %1 %2").arg(line, entries.join(QLatin1Char('|')));
    }
    return QStringLiteral("ERROR no menu entry %1").arg(text);
}

// Everything after the first count words of the line, as typed.
QString restOfLine(const QString& line, int count)
{
    QString rest = line.trimmed();
    for (int i = 0; i < count; ++i) {
        const int space = rest.indexOf(QLatin1Char(' '));
        rest = space < 0 ? QString() : rest.mid(space + 1).trimmed();
    }
    return rest;
}

} // namespace

QString ModuleDriver::prepare(const QString& line, std::function<void()>& action)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    if (verb == QLatin1String("menu")) {
        return prepareMenu(line, restOfLine(line, 1), action);
    }
    const bool query = verb == QLatin1String("visible") || verb == QLatin1String("enabled") ||
                       verb == QLatin1String("text") || verb == QLatin1String("rect");
    const bool known =
        ((query || verb == QLatin1String("click") || verb == QLatin1String("rclick")) && words.size() == 2) ||
        ((verb == QLatin1String("key") || verb == QLatin1String("tab")) && words.size() == 3) ||
        (verb == QLatin1String("type") && words.size() >= 3);
    if (!known) {
        return QStringLiteral("ERROR unknown command: %1").arg(line);
    }
    QString error;
    QPointer<QWidget> widget = WidgetPath::find(words.at(1), &error);
    if (verb == QLatin1String("visible")) {
        return QStringLiteral("OK %1 %2").arg(line).arg(widget ? 1 : 0);
    }
    if (!widget) {
        return QStringLiteral("ERROR ") + error;
    }
    if (verb == QLatin1String("enabled")) {
        return QStringLiteral("OK %1 %2").arg(line).arg(widget->isEnabled() ? 1 : 0);
    }
    if (verb == QLatin1String("text")) {
        return QStringLiteral("OK %1 %2").arg(line, widgetText(widget));
    }
    if (verb == QLatin1String("rect")) {
        const QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
        return QStringLiteral("OK %1 %2 %3 %4 %5")
            .arg(line)
            .arg(topLeft.x())
            .arg(topLeft.y())
            .arg(widget->width())
            .arg(widget->height());
    }
    return prepareGesture(line, words, widget, action);
}

QString ModuleDriver::prepareGesture(const QString& line, const QStringList& words, QWidget* target,
                                     std::function<void()>& action)
{
    const QString verb = words.at(0);
    QPointer<QWidget> widget = target;
    if (verb == QLatin1String("click") || verb == QLatin1String("rclick")) {
        const Qt::MouseButton button = verb == QLatin1String("click") ? Qt::LeftButton : Qt::RightButton;
        action = [widget, button]() {
            if (widget) {
                sendMouse(widget, widget->rect().center(), button);
            }
        };
    } else if (verb == QLatin1String("tab")) {
        QPointer<QTabBar> bar = tabBarOf(widget);
        bool ok = false;
        const int index = words.at(2).toInt(&ok);
        if (!bar || !ok || index < 0 || index >= bar->count()) {
            return QStringLiteral("ERROR no tab %1 on %2").arg(words.at(2), words.at(1));
        }
        const QPoint centre = bar->tabRect(index).center();
        action = [bar, centre]() {
            if (bar) {
                sendMouse(bar, centre, Qt::LeftButton);
            }
        };
    } else if (verb == QLatin1String("type")) {
        const QString text = restOfLine(line, 2);
        action = [widget, text]() {
            if (widget) {
                typeText(widget, text);
            }
        };
    } else {
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
    }
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
