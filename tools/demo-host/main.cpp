// Demo host: plays the host application that starts the module, holds its
// window and receives its window messages and signals. With --headless it has
// no window and is driven line by line (tests); --stdio drives the window so.
#include "HostConsole.h"
#include "HostEndpoint.h"
#include "HostScript.h"
#include "HostWindow.h"
#include "ModuleDriverLink.h"
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
    parser.addOption({QStringLiteral("stdio"),
                      QStringLiteral("With the window: commands on stdin, events on stdout, as headless.")});
    parser.addOption({QStringLiteral("drive-module"),
                      QStringLiteral("Start the module with the module driver (ui commands).")});
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
    ModuleDriverLink driver;
    if (parser.isSet(QStringLiteral("drive-module"))) {
        driver.setServerName(QStringLiteral("messageclient-driver-%1").arg(handle));
        module.enableDriver(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lib")),
                            driver.serverName());
    }

    std::unique_ptr<HostConsole> console;
    if (headless || parser.isSet(QStringLiteral("stdio"))) {
        console = std::make_unique<HostConsole>(&endpoint, &module, &driver);
    }
    if (headless) {
        console->start();
        if (startModule && !module.start(program, launch)) {
            std::printf("MODULE FAILED %s\n", qPrintable(program));
            std::fflush(stdout);
        }
        return app->exec();
    }

    HostWindow window(&endpoint, &module);
    window.setModuleLaunch(startModule ? program : QString(), launch);
    if (console) {
        QObject::connect(&window, &HostWindow::hostEvent, console.get(), &HostConsole::print);
        console->setWindowHandler([&window](const ScriptLine& line) { return window.applyWindowOp(line); });
        console->start();
    }
    window.show();
    if (startModule) {
        window.startModule();
    }
    return app->exec();
}
