// The module's own process: the host starts it with the launch string as the
// first argument and drives the window over the host link.
#include "CommandLine.h"
#include "HostBridge.h"

#include "shell/MessageClient.h"

#include "cmdline/StartFailure.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (handleInfoOption(argc, argv)) {
        return 0;
    }
    cmdline::catchStartFailure("messageclient");
    QApplication app(argc, argv);
    cmdline::releaseStartFailure();
    QApplication::setApplicationName(QStringLiteral("MessageClient"));
    const QString strCmdLine = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    MessageClient client(strCmdLine);
    new HostBridge(&client);
    client.show();
    return app.exec();
}
