// Child process for the crash tests: installs the crash handler, then fails in
// the way its first argument names.
//   native_crash_helper <segv|abort|uninit|exit> <dump dir> <marker file>
#include "native/CrashApi.h"
#include "native/ModulePath.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

char g_szMarker[4096] = "";

void writeMarker()
{
    const int nFd = ::open(g_szMarker, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (nFd >= 0) {
        const char szText[] = "callback ran\n";
        (void)!::write(nFd, szText, sizeof(szText) - 1);
        ::close(nFd);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <segv|abort|uninit|exit> <dump dir> <marker file>\n", argv[0]);
        return 2;
    }
    // No core files from the deliberate crashes.
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::snprintf(g_szMarker, sizeof(g_szMarker), "%s", argv[3]);

    CrashAPI_Init();
    CrashAPI_SetDumpPath(argv[2]);
    CrashAPI_SetCallBack(writeMarker);

    const char* szMode = argv[1];
    if (std::strcmp(szMode, "segv") == 0) {
        volatile int* pNull = nullptr;
        *pNull = 1;
    } else if (std::strcmp(szMode, "abort") == 0) {
        std::abort();
    } else if (std::strcmp(szMode, "uninit") == 0) {
        CrashAPI_Uninit();
        std::abort();
    } else if (std::strcmp(szMode, "exit") == 0) {
        native::EndOwnProcess(7);
    }
    return 3;
}
