#include "native/CHostEmbedding.h"

#include "logkit/LogKit.h"
#include "native/CHostLink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr const char* kTag = "MessageClient";
}

CHostEmbedding::CHostEmbedding(QWidget* pWindow) : QObject(pWindow), m_pWindow(pWindow) {}

CHostEmbedding::~CHostEmbedding()
{
    if (m_pConnection) {
        xcb_disconnect(m_pConnection);
    }
}

bool CHostEmbedding::PlatformCanEmbed()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool CHostEmbedding::Embed(HWND hHost)
{
    static const char* const kFn = "CHostEmbedding::Embed";
    if (!PlatformCanEmbed()) {
        LogWrite(3, kTag, "<%d>\t<%s>,platform %s cannot share windows, the module keeps its own frame",
                 __LINE__, kFn, QGuiApplication::platformName().toLocal8Bit().constData());
        return false;
    }
    // The native window exists from here on but is not mapped: the window
    // manager never sees it as a top-level window of its own.
    const quint64 nOwn = m_pWindow->winId();
    quint64 nHolder = 0;
    quint64 nHostTop = 0;
    if (!CHostLink::instance()->requestEmbedding(hHost, nOwn, nHolder, nHostTop)) {
        LogWrite(3, kTag,
                 "<%d>\t<%s>,host window %lld holds no window for the module, it keeps its own frame",
                 __LINE__, kFn, qint64(hHost));
        return false;
    }
    QWindow* pHolder = QWindow::fromWinId(WId(nHolder));
    QWindow* pOwn = m_pWindow->windowHandle();
    if (!pHolder || !pOwn) {
        delete pHolder;
        return false;
    }
    // The holder becomes the Qt parent of the module's window handle; it goes
    // when that handle goes, never before.
    connect(pOwn, &QObject::destroyed, pHolder, &QObject::deleteLater);
    m_pHolder = pHolder;
    m_nHostTop = nHostTop;
    m_pWindow->move(0, 0);
    pOwn->setParent(pHolder);
    QCoreApplication::instance()->installEventFilter(this);
    LogWrite(3, kTag, "<%d>\t<%s>,window 0x%llx inside host window 0x%llx (top-level 0x%llx)", __LINE__, kFn,
             static_cast<unsigned long long>(nOwn), static_cast<unsigned long long>(nHolder),
             static_cast<unsigned long long>(nHostTop));
    return true;
}

bool CHostEmbedding::IsOverlay(const QWidget* pWidget) const
{
    if (pWidget == m_pWindow || !pWidget->isWindow()) {
        return false;
    }
    // Popups and tool tips bypass the window manager; stacking does not apply.
    const Qt::WindowType eType = pWidget->windowType();
    if (eType == Qt::Popup || eType == Qt::ToolTip) {
        return false;
    }
    for (const QWidget* pUp = pWidget->parentWidget(); pUp; pUp = pUp->parentWidget()) {
        if (pUp == m_pWindow) {
            return true;
        }
    }
    return false;
}

bool CHostEmbedding::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // Every click: the window manager may have given the keyboard to the host
    // since, without this process hearing of it.
    if (pEvent->type() == QEvent::MouseButtonPress && pWatched->isWidgetType() &&
        static_cast<QWidget*>(pWatched)->window() == m_pWindow) {
        RequestFocus();
    }
    if (pEvent->type() == QEvent::Show && pWatched->isWidgetType()) {
        auto* pWidget = static_cast<QWidget*>(pWatched);
        if (IsOverlay(pWidget)) {
            // The window manager minimises the host's transients with it; shown
            // again in that state, the overlay would ask for the host to be
            // minimised once more. It goes up in the normal state.
            if (pWidget->windowState() & Qt::WindowMinimized) {
                pWidget->setWindowState(pWidget->windowState() & ~Qt::WindowMinimized);
            }
            // Showing a window rewrites its window-manager hints, so the hint
            // goes on once the show has been carried out.
            QPointer<QWidget> pGuard(pWidget);
            QMetaObject::invokeMethod(
                this,
                [this, pGuard]() {
                    if (pGuard && pGuard->isVisible()) {
                        KeepAboveHost(pGuard);
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(pWatched, pEvent);
}

xcb_connection_t* CHostEmbedding::Connection(const char* szFunction)
{
    if (!m_pConnection) {
        m_pConnection = xcb_connect(nullptr, nullptr);
    }
    if (xcb_connection_has_error(m_pConnection)) {
        LogWrite(5, kTag, "<%d>\t<%s>,no connection to the display", __LINE__, szFunction);
        return nullptr;
    }
    return m_pConnection;
}

void CHostEmbedding::RequestFocus()
{
    xcb_connection_t* pConnection = Connection("CHostEmbedding::RequestFocus");
    if (!pConnection || !m_pHolder) {
        return;
    }
    if (m_nXEmbedAtom == 0) {
        static const char kName[] = "_XEMBED";
        xcb_intern_atom_reply_t* pReply = xcb_intern_atom_reply(
            pConnection, xcb_intern_atom(pConnection, 0, sizeof(kName) - 1, kName), nullptr);
        m_nXEmbedAtom = pReply ? pReply->atom : 0;
        std::free(pReply);
    }
    // A window held by another process gets the keyboard from its holder: a
    // click asks for it, as the XEmbed protocol has it (REQUEST_FOCUS).
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof(message));
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(m_pHolder->winId());
    message.type = m_nXEmbedAtom;
    message.data.data32[0] = XCB_CURRENT_TIME;
    message.data.data32[1] = 3; // XEMBED_REQUEST_FOCUS
    xcb_send_event(pConnection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(pConnection);
}

void CHostEmbedding::KeepAboveHost(QWidget* pOverlay)
{
    xcb_connection_t* pConnection = Connection("CHostEmbedding::KeepAboveHost");
    if (m_nHostTop == 0 || !pConnection) {
        return;
    }
    // A window transient for the host's top-level stays above it, full screen
    // included, as a window owned by the host would.
    const xcb_window_t nHostTop = xcb_window_t(m_nHostTop);
    xcb_change_property(pConnection, XCB_PROP_MODE_REPLACE, xcb_window_t(pOverlay->winId()),
                        XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &nHostTop);
    xcb_flush(pConnection);
}
