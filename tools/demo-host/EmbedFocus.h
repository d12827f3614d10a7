// Keyboard focus for the held module: a window held by another process asks
// its holder for the focus when it is clicked (XEmbed REQUEST_FOCUS), and the
// host puts the X input focus on it.
#pragma once

#include <QAbstractNativeEventFilter>

#include <functional>

struct xcb_connection_t;

class EmbedFocus : public QAbstractNativeEventFilter
{
public:
    // holderWindow: the native id of the window that holds the module now (0: none);
    // requested: what the host does when the module asks.
    EmbedFocus(std::function<quint64()> holderWindow, std::function<void()> requested);
    ~EmbedFocus() override;

    // Gives the keyboard to that window (of any process) at once.
    void setInputFocus(quint64 window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    std::function<quint64()> m_holderWindow;
    std::function<void()> m_requested;
    xcb_connection_t* m_connection = nullptr;
    quint32 m_xembedAtom = 0;
};
