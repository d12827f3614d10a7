// A private X display for a test (Xvfb and openbox) and questions about its windows.
#pragma once

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
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
    QString display() const { return m_display; }
    // For a Qt process on this display: xcb, no session bus, no OpenGL.
    QProcessEnvironment environment() const;
    QSize screenSize() const;

    // Viewable windows (mapped, every ancestor too) whose _NET_WM_PID is pid.
    QList<quint32> viewableWindowsOf(qint64 pid) const;
    // The first viewable window of that process whose name is name; 0 if none.
    quint32 viewableWindowNamed(qint64 pid, const QString& name) const;
    // On the screen; empty when the window is gone.
    QRect geometry(quint32 window) const;
    bool isInside(quint32 window, quint32 ancestor) const;
    quint32 focusWindow() const;
    void setFocusWindow(quint32 window) const;
    // A left click at pos (window coordinates), as the window's own client sees one.
    void click(quint32 window, const QPoint& pos) const;

private:
    QList<quint32> allWindows() const;
    qint64 pidOf(quint32 window) const;
    QString nameOf(quint32 window) const;
    bool isViewable(quint32 window) const;
    quint32 atom(const char* name) const;

    QTemporaryDir m_configDir;
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
};
