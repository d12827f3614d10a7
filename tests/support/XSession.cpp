#include "XSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* pointer)
{
    return Reply<T>(pointer, &std::free);
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

XSession::~XSession()
{
    if (m_connection) {
        xcb_disconnect(m_connection);
    }
    stop(m_windowManager);
    stop(m_server);
}

QString XSession::missingProgram()
{
    for (const char* program : {"Xvfb", "openbox"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            return QString::fromLatin1(program);
        }
    }
    return QString();
}

bool XSession::start(QString* error)
{
    // The server picks a free display itself and names it on stdout once it serves.
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1600x900x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    QDeadlineTimer deadline(15000);
    QByteArray number;
    while (!number.endsWith('\n') && !deadline.hasExpired() && m_server.state() != QProcess::NotRunning) {
        m_server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        number += m_server.readAllStandardOutput();
    }
    if (!number.endsWith('\n')) {
        *error = QStringLiteral("Xvfb did not name its display: %1")
                     .arg(QString::fromLocal8Bit(m_server.readAllStandardError()));
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    m_connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        *error = QStringLiteral("cannot connect to %1").arg(m_display);
        return false;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    m_windowManager.setProcessEnvironment(environment);
    m_windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    // No minimise animation: a window's place on the screen is final as soon
    // as the window manager has acted.
    const QString config = m_configDir.filePath(QStringLiteral("rc.xml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
                   "<theme><animateIconify>no</animateIconify></theme></openbox_config>\n") < 0) {
        *error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--config-file"), config});
    // The window manager serves once it has announced itself on the root window.
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    while (!deadline.hasExpired() && m_windowManager.state() != QProcess::NotRunning) {
        auto property = reply(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, m_root, check, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (property && xcb_get_property_value_length(property.get()) > 0) {
            return true;
        }
        QThread::msleep(20);
    }
    *error = QStringLiteral("openbox did not start on %1").arg(m_display);
    return false;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Without these, libdbus looks for a bus through the display and the GLX
    // driver is loaded: both keep memory to the end that no code here reaches.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    return environment;
}

quint32 XSession::atom(const char* name) const
{
    auto answer = reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, quint16(strlen(name)), name), nullptr));
    return answer ? answer->atom : 0;
}

QSize XSession::screenSize() const
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    return QSize(screen->width_in_pixels, screen->height_in_pixels);
}

QList<quint32> XSession::allWindows() const
{
    QList<quint32> result;
    QList<quint32> pending{m_root};
    while (!pending.isEmpty()) {
        const quint32 window = pending.takeFirst();
        auto tree = reply(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
        if (!tree) {
            continue;
        }
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            result << children[i];
            pending << children[i];
        }
    }
    return result;
}

qint64 XSession::pidOf(quint32 window) const
{
    static const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    auto property = reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!property || xcb_get_property_value_length(property.get()) < 4) {
        return 0;
    }
    return *static_cast<const quint32*>(xcb_get_property_value(property.get()));
}

QString XSession::nameOf(quint32 window) const
{
    static const xcb_atom_t nameAtom = atom("_NET_WM_NAME");
    auto property = reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, nameAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr));
    if (!property) {
        return QString();
    }
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(property.get())),
                             xcb_get_property_value_length(property.get()));
}

bool XSession::isViewable(quint32 window) const
{
    auto attributes = reply(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

QList<quint32> XSession::viewableWindowsOf(qint64 pid) const
{
    QList<quint32> result;
    for (quint32 window : allWindows()) {
        if (pidOf(window) == pid && isViewable(window)) {
            result << window;
        }
    }
    return result;
}

quint32 XSession::viewableWindowNamed(qint64 pid, const QString& name) const
{
    for (quint32 window : viewableWindowsOf(pid)) {
        if (nameOf(window) == name) {
            return window;
        }
    }
    return 0;
}

QRect XSession::geometry(quint32 window) const
{
    auto size = reply(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    auto origin = reply(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    if (!size || !origin) {
        return QRect();
    }
    return QRect(origin->dst_x, origin->dst_y, size->width, size->height);
}

bool XSession::isInside(quint32 window, quint32 ancestor) const
{
    for (quint32 current = window; current != 0 && current != m_root;) {
        auto tree = reply(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, current), nullptr));
        if (!tree) {
            return false;
        }
        current = tree->parent;
        if (current == ancestor) {
            return true;
        }
    }
    return false;
}

quint32 XSession::focusWindow() const
{
    auto focus = reply(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    return focus ? focus->focus : 0;
}

void XSession::setFocusWindow(quint32 window) const
{
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

void XSession::click(quint32 window, const QPoint& pos) const
{
    const QRect where = geometry(window);
    for (const quint8 type : {quint8(XCB_BUTTON_PRESS), quint8(XCB_BUTTON_RELEASE)}) {
        xcb_button_press_event_t event;
        std::memset(&event, 0, sizeof(event));
        event.response_type = type;
        event.detail = 1;
        event.time = XCB_CURRENT_TIME;
        event.root = m_root;
        event.event = window;
        event.child = XCB_NONE;
        event.root_x = qint16(where.x() + pos.x());
        event.root_y = qint16(where.y() + pos.y());
        event.event_x = qint16(pos.x());
        event.event_y = qint16(pos.y());
        event.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
        event.same_screen = 1;
        // An empty event mask: the event goes to the client that made the window.
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(m_connection);
}
