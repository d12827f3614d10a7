#include "EmbedFocus.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr quint32 kRequestFocus = 3; // XEMBED_REQUEST_FOCUS
}

EmbedFocus::EmbedFocus(std::function<quint64()> holderWindow, std::function<void()> requested)
    : m_holderWindow(std::move(holderWindow)), m_requested(std::move(requested))
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        return;
    }
    static const char name[] = "_XEMBED";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, sizeof(name) - 1, name), nullptr);
    if (reply) {
        m_xembedAtom = reply->atom;
        std::free(reply);
    }
}

EmbedFocus::~EmbedFocus()
{
    if (m_connection) {
        xcb_disconnect(m_connection);
    }
}

void EmbedFocus::setInputFocus(quint64 window)
{
    if (m_xembedAtom == 0 || window == 0) {
        return;
    }
    // Qt defers activating a foreign window until it sees it mapped, which it
    // never does for another process's window; the focus is set directly.
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window), XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

bool EmbedFocus::nativeEventFilter(const QByteArray& eventType, void* message, long* /*result*/)
{
    if (m_xembedAtom == 0 || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    const auto* clientMessage = reinterpret_cast<const xcb_client_message_event_t*>(event);
    const quint64 holder = m_holderWindow();
    if (clientMessage->type != m_xembedAtom || holder == 0 || clientMessage->window != holder ||
        clientMessage->data.data32[1] != kRequestFocus) {
        return false;
    }
    m_requested();
    return true;
}
