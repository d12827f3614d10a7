#include "JsonUtil.h"
#include "SimOptions.h"
#include "Simulator.h"
#include "cmdline/ProjectVersion.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (!options.parse(argc, argv, error)) {
        if (error == "version") {
            printf("platform-sim %s\n", MC_PROJECT_VERSION);
            return 0;
        }
        if (error == "help") {
            fputs(SimOptions::usage(), stdout);
            return 0;
        }
        fprintf(stderr, "platform-sim: %s\n", error.c_str());
        fputs(SimOptions::usage(), stderr);
        return 2;
    }
    // Block the stop signals in every thread; this one waits for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Pictures need fonts, hence a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    Simulator simulator;
    if (!simulator.start(options, error)) {
        fprintf(stderr, "platform-sim: %s\n", error.c_str());
        return 1;
    }
    int received = 0;
    sigwait(&stopSignals, &received);
    SimUtil::log("signal %d: stopping", received);
    simulator.stop();
    return 0;
}
