// Demo host: plays the host application that starts the module and receives
// its window messages. With --headless it is driven line by line (tests).
#include "HeadlessHost.h"
#include "HostEndpoint.h"
#include "HostWindow.h"
#include "ModuleProcess.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool wantsHeadless(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const bool headless = wantsHeadless(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("demo-host"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the host application of the alarm-message module."));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("headless"), QStringLiteral("No window; commands on stdin, events on stdout.")});
    parser.addOption({QStringLiteral("handle"), QStringLiteral("Window handle number (default: own pid)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("no-module"), QStringLiteral("Do not start the module's process.")});
    parser.addOption({QStringLiteral("module"),
                      QStringLiteral("Module executable (default: messageclient beside this)."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("launch"),
                      QStringLiteral("Launch string; ParentWnd is added when missing."),
                      QStringLiteral("TEXT")});
    parser.process(*app);

    qint64 handle = QCoreApplication::applicationPid();
    if (parser.isSet(QStringLiteral("handle"))) {
        bool ok = false;
        handle = parser.value(QStringLiteral("handle")).toLongLong(&ok);
        if (!ok || handle == 0) {
            std::fprintf(stderr, "demo-host: --handle needs a non-zero number\n");
            return 2;
        }
    }
    const QString program =
        parser.isSet(QStringLiteral("module"))
            ? parser.value(QStringLiteral("module"))
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("messageclient"));
    const QString launch = launchWithHandle(parser.value(QStringLiteral("launch")), handle);
    const bool startModule = !parser.isSet(QStringLiteral("no-module"));

    HostEndpoint endpoint;
    QString error;
    if (!endpoint.listen(handle, &error)) {
        std::fprintf(stderr, "demo-host: cannot listen on handle %lld: %s\n", handle, qPrintable(error));
        return 1;
    }
    ModuleProcess module;

    if (headless) {
        HeadlessHost host(&endpoint, &module);
        host.start();
        if (startModule && !module.start(program, launch)) {
            std::printf("MODULE FAILED %s\n", qPrintable(program));
            std::fflush(stdout);
        }
        return app->exec();
    }

    HostWindow window(&endpoint, &module);
    window.setModuleLaunch(startModule ? program : QString(), launch);
    window.show();
    if (startModule) {
        window.startModule();
    }
    return app->exec();
}
