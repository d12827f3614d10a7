// A private X display for a test (Xvfb and openbox) and questions about its windows.
#pragma once

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QTemporaryDir>

struct xcb_connection_t;

class XSession
{
public:
    XSession() = default;
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The program a session needs that is not installed, or nothing.
    static QString missingProgram();
    // Starts the server and the window manager and waits until both serve.
    bool start(QString* error);
    // For a Qt process on this display: xcb, no session bus, no OpenGL.
    QProcessEnvironment environment() const;
    QSize screenSize() const;

    // Viewable windows (mapped, every ancestor too) of process pid, named name if given.
    QList<quint32> viewableWindows(qint64 pid, const QString& name = {}) const;
    // On the screen; empty when the window is gone.
    QRect geometry(quint32 window) const;
    bool isInside(quint32 window, quint32 ancestor) const;
    quint32 focusWindow() const;
    void setFocusWindow(quint32 window) const;
    // A left click at pos (window coordinates), as the window's own client sees one.
    void click(quint32 window, const QPoint& pos) const;

private:
    QByteArray property(quint32 window, const char* name, quint32 type) const;
    quint32 atom(const char* name) const;

    QTemporaryDir m_configDir;
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
};
