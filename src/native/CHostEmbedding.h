// The module's window inside a window of its host, as a host holds a child
// process's window: the host hides, minimises, moves and sizes it with its own.
// The module's other top-level windows (control bar, large picture, dialogs)
// are kept above the host's window by the window manager, and a click into the
// window asks the host for the keyboard.
#pragma once

#include "base/WinTypes.h"

#include <QObject>

class QWidget;
class QWindow;
struct xcb_connection_t;

class CHostEmbedding : public QObject
{
    Q_OBJECT
public:
    // pWindow: the module's top-level window; also the Qt parent.
    explicit CHostEmbedding(QWidget* pWindow);
    ~CHostEmbedding() override;

    // Another process's window can only be shared on X11; the offscreen
    // platform and the like keep the window on its own.
    static bool PlatformCanEmbed();

    // Offers the window to the host behind hHost before it is first shown;
    // true when it now lives inside a window of the host.
    bool Embed(HWND hHost);
    bool IsEmbedded() const { return m_pHolder != nullptr; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    bool IsOverlay(const QWidget* pWidget) const;
    void KeepAboveHost(QWidget* pOverlay);
    void RequestFocus();
    xcb_connection_t* Connection(const char* szFunction);

    QWidget* m_pWindow;
    QWindow* m_pHolder = nullptr; // the host's window, foreign to this process
    quint64 m_nHostTop = 0;
    xcb_connection_t* m_pConnection = nullptr;
    quint32 m_nXEmbedAtom = 0;
};
