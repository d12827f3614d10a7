#include "cmdline/StartFailure.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <unistd.h>

namespace {

QtMessageHandler g_previousHandler = nullptr;
const char* g_program = "";

void startFailureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        if (g_previousHandler) {
            g_previousHandler(type, context, message);
        }
        return;
    }
    std::fprintf(stderr, "%s: cannot start: %s\n", g_program, message.toLocal8Bit().constData());
    std::fflush(stderr);
    _exit(1);
}

} // namespace

namespace cmdline {

void catchStartFailure(const char* program)
{
    g_program = program;
    g_previousHandler = qInstallMessageHandler(startFailureHandler);
}

void releaseStartFailure()
{
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
}

} // namespace cmdline
