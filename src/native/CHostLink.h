// Link between the module's process and its host over a local socket: the
// module's side of the window messages, and the host's commands back.
#pragma once

#include "base/WinTypes.h"
#include "native/CHostFrame.h"
#include "native/HostCommand.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalSocket;

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

    // A posted message that carries its own copy of some bytes (the pushed alarm
    // notice the process forwards); the host reads them from the frame.
    bool postMessageWithData(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, const QByteArray& baData);

    // Offers the module's native window to the host; true when the host took
    // it into nHolder, a window of its own whose top-level is nHostTop.
    bool requestEmbedding(HWND hWnd, quint64 nModuleWindow, quint64& nHolder, quint64& nHostTop);

    // One of the window's signals for the host; not acknowledged.
    bool postSignal(HWND hWnd, const HostSignal& signal);

    explicit CHostLink(QObject* pParent = nullptr);
    ~CHostLink() override;

signals:
    void hostCommand(const HostCommand& cmd);
    void hostGone();

private:
    struct SPeer
    {
        QPointer<QLocalSocket> pSocket;
        QByteArray baBuffer;
    };
    struct SPending
    {
        bool bGone = false;
        HostCommand tCommand;
    };

    bool onOwnThread(const char* szFunction) const;
    QLocalSocket* peerSocket(HWND hWnd, bool bConnect);
    bool writeFrame(HWND hWnd, const CHostFrame& frame, const char* szFunction);
    bool awaitReply(HWND hWnd, quint32 nSeq, int nTimeoutMs, CHostFrame& reply);
    void readPeer(HWND hWnd);
    void dispatchFrame(HWND hWnd, const CHostFrame& frame);
    void dropPeer(HWND hWnd, const char* szReason);
    void queuePending(const SPending& pending);
    void flushPending();
    quint32 nextSeq();

    QHash<HWND, SPeer> m_hashPeers;
    QHash<quint32, CHostFrame> m_hashReplies;
    QList<quint32> m_listAwaited;
    QList<SPending> m_listPending;
    bool m_bFlushQueued = false;
    quint32 m_nNextSeq = 1;
};

// The window-system calls, as the module's code reads them.
namespace native {
bool IsWindow(HWND hWnd);
LRESULT SendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
bool PostMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
bool GetWindowRect(HWND hWnd, RECT* pRect);
} // namespace native
