// Link between the module's process and its host over a local socket: the
// module's side of the window messages, and the host's commands back.
#pragma once

#include "native/WinTypes.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalSocket;

// A command the host sends to the module's process.
struct HostCommand
{
    enum Kind {
        Show,         // nValue: pushed message id
        Hide,         // nValue: flag
        Minimise,     // nValue: 1 minimised, 0 restored
        BigPicture,   // nValue: 1 show, 0 hide
        Moved,        //
        NewAlarm,     //
        UpdateTokens, // strFirst: token, strSecond: refresh token
        StartPush,    //
        Close         //
    };
    Kind eKind = Close;
    int nValue = 0;
    QString strFirst;
    QString strSecond;
};
Q_DECLARE_METATYPE(HostCommand)

class CHostLink : public QObject
{
    Q_OBJECT
public:
    // One link per process, created on first use on the GUI thread.
    static CHostLink* instance();

    // Name of the local server a host with this handle listens on.
    static QString serverName(HWND hWnd);

    bool isWindow(HWND hWnd);
    LRESULT sendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    bool postMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT sendCopyData(HWND hWnd, WPARAM wParam, const COPYDATASTRUCT& data);
    bool getWindowRect(HWND hWnd, RECT* pRect);

signals:
    void hostCommand(const HostCommand& cmd);
    void hostGone();

    // ... implementation details are the native layer's own
};

// The window-system calls, as the module's code reads them.
namespace native {
bool IsWindow(HWND hWnd);
LRESULT SendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
bool PostMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
bool GetWindowRect(HWND hWnd, RECT* pRect);
} // namespace native
