// Demo host: plays the host application that starts the module, holds its
// window and receives its window messages and signals. With --headless it has
// no window and is driven line by line (tests); --stdio drives the window so.
#include "HostConsole.h"
#include "HostEndpoint.h"
#include "HostScript.h"
#include "HostWindow.h"
#include "ModuleDriverLink.h"
#include "ModuleProcess.h"
#include "cmdline/ProjectVersion.h"
#include "cmdline/StartFailure.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Headless, and for help and version, there is no window: no display needed.
bool wantsNoWindow(int argc, char** argv)
{
    static const char* const kNoWindow[] = {"--headless", "--help", "-h", "--help-all", "--version", "-v"};
    for (int i = 1; i < argc; ++i) {
        for (const char* option : kNoWindow) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

// The module driver sits beside the build's libraries, or in the tools'
// private folder of an installed tree.
QString moduleDriverDir()
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QString installed = appDir.filePath(QStringLiteral(MC_DRIVER_INSTALL_DIR));
    return QDir(installed).exists() ? installed : appDir.filePath(QStringLiteral("../lib"));
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (wantsNoWindow(argc, argv)) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        cmdline::catchStartFailure("demo-host");
        app = std::make_unique<QApplication>(argc, argv);
        cmdline::releaseStartFailure();
    }
    QCoreApplication::setApplicationName(QStringLiteral("demo-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MC_PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the host application of the alarm-message module: starts the module's process,\n"
        "holds its window and shows what it reports. Console commands: docs/host-link.md.\n"
        "Exit status: 0 quit, closed or end of input; 1 the endpoint or the display could\n"
        "not be opened; 2 bad command line."));
    parser.addHelpOption();
    parser.addVersionOption();
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
    // A bad command line ends with 2, as the simulator's does; process()
    // then only acts on help and version.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "demo-host: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    parser.process(*app);
    const bool headless = parser.isSet(QStringLiteral("headless"));

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
        module.enableDriver(moduleDriverDir(), driver.serverName());
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
