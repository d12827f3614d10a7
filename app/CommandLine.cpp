#include "CommandLine.h"

#include "cmdline/ProjectVersion.h"

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: messageclient \"LAUNCH STRING\"\n"
    "       messageclient --help | --version\n"
    "\n"
    "The alarm-message centre's own process. A host application starts it with one\n"
    "argument, the launch string, and drives the window over the host link.\n"
    "\n"
    "Launch string: items KEY:VALUE separated by \";\" (split at the first \":\",\n"
    "so a value may hold \":\"; keys are case-sensitive, unknown ones ignored):\n"
    "  ParentWnd         number of the host's endpoint; missing or not answering,\n"
    "                    the window closes at once and the process ends with 0\n"
    "  Token, RefreshToken   the platform login (bearer and refresh token)\n"
    "  ServerUrl         platform address, e.g. https://platform.example:8443\n"
    "  Appkey, AccessToken, TrustAccessToken   keys of the video library\n"
    "  AesKey            key of the cameras' verification codes\n"
    "  CfgPath           configuration file (XML, root \"Configure\")\n"
    "  PushedMsgId       id of an alarm to open first\n"
    "  NewWnd, DcLogUrl, CmDclogUrl   start flag and usage-log addresses\n"
    "Example:\n"
    "  messageclient \"ParentWnd:4711;Token:...;ServerUrl:https://127.0.0.1:8443;CfgPath:/etc/mc.cfg\"\n"
    "\n"
    "Environment:\n"
    "  MESSAGECLIENT_LOG_DIR     log directory (default $XDG_STATE_HOME/messageclient/log,\n"
    "                            $XDG_STATE_HOME defaulting to ~/.local/state)\n"
    "  MESSAGECLIENT_LOG_STDERR  1: also log to stderr\n"
    "  MESSAGECLIENT_DUMP_DIR    crash dumps (else the configuration's dump_folder,\n"
    "                            else \"dumps\" in the log directory)\n"
    "  PAVRIX_CLOUD_URL, PAVRIX_CA_FILE, PAVRIX_TLS_VERIFY, PAVRIX_STREAM_FORMAT\n"
    "                            the video library's device cloud, its certificate check\n"
    "                            and the recordings' size and rate (e.g. 1280x720@25)\n"
    "  DISPLAY, QT_QPA_PLATFORM  the display, as for every Qt program\n"
    "\n"
    "Exit status:\n"
    "  0        the window closed: the host's close command, the close button, the host\n"
    "           gone or never there (a dead ParentWnd); also after --help and --version\n"
    "  1        the display could not be opened, or its connection was lost\n"
    "  128+N    ended by signal N. After a crash (SIGSEGV, SIGABRT, SIGBUS, SIGFPE,\n"
    "           SIGILL) a dump is in the dump folder and the next start reports it;\n"
    "           SIGTERM and SIGINT end it without handing the tokens back\n";

} // namespace

bool handleInfoOption(int argc, char** argv)
{
    if (argc < 2) {
        return false;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("messageclient %s\n", MC_PROJECT_VERSION);
        return true;
    }
    return false;
}
