// The module's own process: the host starts it with the launch string as the
// first argument and drives the window over the host link.
#include "native/CHostLink.h"
#include "shell/MessageClient.h"
#include "shell/ModuleLog.h"

#include <QApplication>
#include <QMetaObject>

namespace {

void applyHostCommand(MessageClient& client, const HostCommand& cmd)
{
    switch (cmd.eKind) {
    case HostCommand::Show:
        client.ChangeShowModule(cmd.nValue);
        break;
    case HostCommand::Hide:
        client.ChangeHideModule(cmd.nValue);
        break;
    case HostCommand::Minimise:
        client.SetModuleMiniFunc(cmd.nValue != 0);
        break;
    case HostCommand::BigPicture:
        client.SetBigPicShow(cmd.nValue != 0);
        break;
    case HostCommand::Moved:
        client.WndMoveFunc();
        break;
    case HostCommand::NewAlarm:
        client.GetAlarmMsg();
        break;
    case HostCommand::UpdateTokens:
        client.slot_UpdateToken(cmd.strFirst, cmd.strSecond);
        break;
    case HostCommand::StartPush:
        // The push channel is reachable by name only, as the host has always
        // started it.
        QMetaObject::invokeMethod(&client, "StartTcpConnect", Qt::QueuedConnection);
        break;
    case HostCommand::Close:
        client.close();
        break;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MessageClient"));
    const QString strCmdLine = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    MessageClient client(strCmdLine);
    QObject::connect(CHostLink::instance(), &CHostLink::hostCommand, &client,
                     [&client](const HostCommand& cmd) { applyHostCommand(client, cmd); });
    // A host that goes away leaves the module nobody to serve.
    QObject::connect(CHostLink::instance(), &CHostLink::hostGone, &client, [&client] {
        MC_LOG(5, "main", "<%d>\t<%s>,host link lost, closing");
        client.close();
    });
    client.show();
    return app.exec();
}
