#include "XSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> reply(T* pointer)
{
    return {pointer, &std::free};
}

void stop(QProcess& process)
{
    process.terminate();
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(3000)) {
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
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            return program;
        }
    }
    return QString();
}

bool XSession::start(QString* error)
{
    // The server picks a free display itself and names it on stdout once it serves.
    m_server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1600x900x24", "-nolisten", "tcp"});
    QDeadlineTimer deadline(15000);
    QByteArray number;
    while (!number.endsWith('\n') && !deadline.hasExpired() && m_server.state() != QProcess::NotRunning) {
        m_server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        number += m_server.readAllStandardOutput();
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    m_connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (!number.endsWith('\n') || xcb_connection_has_error(m_connection)) {
        *error = "no display from Xvfb: " + QString::fromLocal8Bit(m_server.readAllStandardError());
        return false;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;

    // No minimise animation: a window's place is final as soon as the window manager has acted.
    const QString config = m_configDir.filePath("rc.xml");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
                   "<theme><animateIconify>no</animateIconify></theme></openbox_config>\n") < 0) {
        *error = "cannot write " + config;
        return false;
    }
    file.close();
    m_windowManager.setProcessEnvironment(environment());
    m_windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.start("openbox", {"--config-file", config});
    // The window manager serves once it has announced itself on the root window.
    while (!deadline.hasExpired() && m_windowManager.state() != QProcess::NotRunning) {
        if (!property(m_root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).isEmpty()) {
            return true;
        }
        QThread::msleep(20);
    }
    *error = "openbox did not start on " + m_display;
    return false;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", m_display);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    // Without these, libdbus looks for a bus through the display and the GLX
    // driver is loaded: both keep memory to the end that no code here reaches.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    environment.insert("QT_XCB_GL_INTEGRATION", "none");
    return environment;
}

quint32 XSession::atom(const char* name) const
{
    auto answer = reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, quint16(strlen(name)), name), nullptr));
    return answer ? answer->atom : 0;
}

QByteArray XSession::property(quint32 window, const char* name, quint32 type) const
{
    auto value = reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, atom(name), type, 0, 256), nullptr));
    return value ? QByteArray(static_cast<const char*>(xcb_get_property_value(value.get())),
                              xcb_get_property_value_length(value.get()))
                 : QByteArray();
}

QSize XSession::screenSize() const
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    return QSize(screen->width_in_pixels, screen->height_in_pixels);
}

QList<quint32> XSession::viewableWindows(qint64 pid, const QString& name) const
{
    QList<quint32> result;
    QList<quint32> pending{m_root};
    while (!pending.isEmpty()) {
        auto tree = reply(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, pending.takeFirst()), nullptr));
        const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
            const quint32 window = children[i];
            pending << window;
            const QByteArray windowPid = property(window, "_NET_WM_PID", XCB_ATOM_CARDINAL);
            auto attributes = reply(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
            if (windowPid.size() >= 4 && *reinterpret_cast<const quint32*>(windowPid.constData()) == pid &&
                attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                (name.isEmpty() ||
                 property(window, "_NET_WM_NAME", XCB_GET_PROPERTY_TYPE_ANY) == name.toUtf8())) {
                result << window;
            }
        }
    }
    return result;
}

QRect XSession::geometry(quint32 window) const
{
    auto size = reply(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    auto origin = reply(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    return size && origin ? QRect(origin->dst_x, origin->dst_y, size->width, size->height) : QRect();
}

bool XSession::isInside(quint32 window, quint32 ancestor) const
{
    for (quint32 current = window; current != 0 && current != m_root;) {
        auto tree = reply(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, current), nullptr));
        current = tree ? tree->parent : 0;
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
        event.root = m_root;
        event.event = window;
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
