// Child process for tst_crashapi: installs the crash handler, then ends the
// way its first argument, a mode of tst_crashapi's rows, says.
//   native_crash_helper <mode> <dump dir> <marker file>
#include "logkit/LogKit.h"
#include "native/CrashApi.h"
#include "native/ModulePath.h"
#include "shell/MessageClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

char g_szMarker[4096] = "";
volatile int g_nDepthLimit = 1 << 30;
bool g_bHang = false;

// The callback; in mode hang it never returns.
void writeMarker()
{
    ::close(::open(g_szMarker, O_WRONLY | O_CREAT | O_TRUNC, 0644));
    while (g_bHang)
        ::sleep(1);
}

// A write to a page that allows none (a null pointer would be caught by the
// undefined-behaviour sanitizer before it faults).
void crash()
{
    *static_cast<volatile int*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) = 1;
}

int recurse(int nDepth)
{
    volatile char buf[512];
    buf[0] = char(nDepth);
    return nDepth >= g_nDepthLimit ? buf[0] : recurse(nDepth + 1) + buf[0];
}

void* overflowThread(void*)
{
    CrashAPI_InitThread();
    return reinterpret_cast<void*>(static_cast<long>(recurse(0)));
}

void* logForever(void*)
{
    const std::string text(256 * 1024, 'x');
    for (;;)
        LogWrite(3, "MessageClient", "<%d>\t<%s>,%s", __LINE__, "logForever", text.c_str());
}

// Fills stderr (a pipe nobody reads), then has a thread write a log line to
// it: that thread blocks inside the log library holding its lock.
void jamTheLogger()
{
    int fds[2];
    if (::pipe(fds) != 0 || ::dup2(fds[1], 2) < 0)
        return;
    ::fcntl(2, F_SETFL, O_NONBLOCK);
    char chunk[4096];
    std::memset(chunk, 'j', sizeof(chunk));
    while (::write(2, chunk, sizeof(chunk)) > 0) {
    }
    ::fcntl(2, F_SETFL, 0);
    pthread_t thread;
    pthread_create(&thread, nullptr, logForever, nullptr);
    ::usleep(300 * 1000);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    rlimit noCore{0, 0}; // no core files from the deliberate crashes
    setrlimit(RLIMIT_CORE, &noCore);
    std::snprintf(g_szMarker, sizeof(g_szMarker), "%s", argv[3]);
    const std::string strMode = argv[1];
    g_bHang = strMode == "hang";
    if (strMode == "report")
        setenv("MESSAGECLIENT_LOG_STDERR", "1", 1);
    CrashAPI_Init();
    CrashAPI_SetDumpPath(argv[2]);
    CrashAPI_SetCallBack(strMode == "report" ? &MessageClient::DumpCrashCallback : writeMarker);
    if (strMode == "uninit")
        CrashAPI_Uninit();
    if (strMode == "abort" || strMode == "uninit")
        std::abort();
    if (strMode == "exit")
        native::EndOwnProcess(7);
    if (strMode == "overflow") {
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, 256 * 1024);
        pthread_t thread;
        if (pthread_create(&thread, &attr, overflowThread, nullptr) == 0)
            pthread_join(thread, nullptr);
        return 3;
    }
    if (strMode == "report")
        jamTheLogger();
    crash(); // segv, hang, report
    return 3;
}
