#include "HostBridge.h"

#include "base/ModuleLog.h"
#include "native/CHostLink.h"
#include "shell/MessageClient.h"

#include <QMetaObject>

HostBridge::HostBridge(MessageClient* client) : QObject(client), m_client(client)
{
    connect(CHostLink::instance(), &CHostLink::hostCommand, this, &HostBridge::apply);
    // A host that goes away leaves the module nobody to serve. A link that
    // broke (a stream it could not read) while the host still listens is
    // opened afresh instead.
    connect(CHostLink::instance(), &CHostLink::hostGone, this, [this] {
        if (native::IsWindow(m_client->parentWnd())) {
            MC_LOG(5, "HostBridge::hostGone", "<%d>\t<%s>,host link lost, linked again");
            return;
        }
        MC_LOG(5, "HostBridge::hostGone", "<%d>\t<%s>,host link lost, closing");
        m_client->close();
    });
    connect(client, &MessageClient::sig_FullScreen, this, [this](bool fullScreen, int moduleIndex) {
        HostSignal signal;
        signal.eKind = HostSignal::FullScreen;
        signal.nFirst = fullScreen ? 1 : 0;
        signal.nSecond = moduleIndex;
        forward(signal);
    });
    connect(client, &MessageClient::sigRemoetLogin, this, [this](const QString& text) {
        HostSignal signal;
        signal.eKind = HostSignal::RemoteLogin;
        signal.strFirst = text;
        forward(signal);
    });
    connect(client, &MessageClient::sig_UpdateToken, this,
            [this](const QString& token, const QString& refresh) {
                HostSignal signal;
                signal.eKind = HostSignal::UpdateTokens;
                signal.strFirst = token;
                signal.strSecond = refresh;
                forward(signal);
            });
}

void HostBridge::forward(const HostSignal& signal)
{
    if (m_client->parentWnd() != 0) {
        CHostLink::instance()->postSignal(m_client->parentWnd(), signal);
    }
}

void HostBridge::showWindow()
{
    m_client->show();
    m_client->raise();
}

void HostBridge::apply(const HostCommand& command)
{
    // Inside the host the window goes and comes with the host's own: the host
    // shows, hides, minimises and moves it. On its own it follows the commands.
    const bool ownWindow = !m_client->isEmbedded();
    switch (command.eKind) {
    case HostCommand::Show:
        if (ownWindow) {
            showWindow();
        }
        m_client->ChangeShowModule(command.nValue);
        break;
    case HostCommand::Hide:
        m_client->ChangeHideModule(command.nValue);
        if (ownWindow) {
            m_client->hide();
        }
        break;
    case HostCommand::Minimise:
        if (command.nValue != 0) {
            m_client->SetModuleMiniFunc(true);
            if (ownWindow) {
                m_client->showMinimized();
            }
        } else {
            // The overlays are placed against the window, so it comes back first.
            if (ownWindow) {
                m_client->showNormal();
            }
            m_client->SetModuleMiniFunc(false);
        }
        break;
    case HostCommand::BigPicture:
        m_client->SetBigPicShow(command.nValue != 0);
        break;
    case HostCommand::Moved:
        m_client->WndMoveFunc();
        break;
    case HostCommand::NewAlarm:
        m_client->GetAlarmMsg();
        break;
    case HostCommand::UpdateTokens:
        m_client->slot_UpdateToken(command.strFirst, command.strSecond);
        break;
    case HostCommand::StartPush:
        // The push channel is reachable by name only, as the host has always
        // started it.
        QMetaObject::invokeMethod(m_client, "StartTcpConnect", Qt::QueuedConnection);
        break;
    case HostCommand::Close:
        m_client->close();
        break;
    case HostCommand::Ping: {
        // Answered from the event loop that runs the window: a host learns
        // that the module is responsive, not merely that its socket is open.
        HostSignal pong;
        pong.eKind = HostSignal::Pong;
        pong.nFirst = command.nValue;
        forward(pong);
        break;
    }
    }
}
