#include "native/CrashApi.h"

#include "logkit/LogKit.h"
#include "logkit/SafeText.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);
constexpr size_t kPathMax = 4096;
constexpr size_t kAltStackSize = 64 * 1024;
// Dump and callback take milliseconds; past this the handler is stuck.
constexpr int kWatchdogSeconds = 5;

using SText = logkit::SafeText<kPathMax + 512>;

// Everything the handler touches is prepared beforehand in static storage, so
// the handler itself needs no allocation and no locks.
char g_szDumpDir[kPathMax] = "";
char g_szName[256] = "MessageClient";
char g_szDumpFile[kPathMax] = "";
std::atomic<CrashCallback> g_pCallback{nullptr};
struct sigaction g_previous[kSignalCount];
bool g_bInstalled = false;
// The thread (kernel id) that is writing the dump; 0 while none is.
std::atomic<long> g_nCrashingThread{0};

// The watchdog thread waits on a pipe: the handler writes the signal number
// when it starts and a zero when it is done.
int g_watchdogPipe[2] = {-1, -1};
pthread_t g_watchdog;
bool g_bWatchdog = false;

long currentThreadId()
{
    return static_cast<long>(syscall(SYS_gettid));
}

const char* signalName(int nSignal)
{
    switch (nSignal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    default:
        return "signal";
    }
}

void addTimestamp(SText& text, time_t nNow)
{
    const logkit::SafeDate date = logkit::safeDate(nNow);
    text.addNumber(date.nYear, 10, 4);
    text.addNumber(date.nMonth, 10, 2);
    text.addNumber(date.nDay, 10, 2);
    text.add("T");
    text.addNumber(date.nHour, 10, 2);
    text.addNumber(date.nMinute, 10, 2);
    text.addNumber(date.nSecond, 10, 2);
    text.add("Z");
}

void writeAll(int nFd, const char* pData, size_t nLen)
{
    while (nLen > 0) {
        const ssize_t nWritten = ::write(nFd, pData, nLen);
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            return;
        }
        pData += nWritten;
        nLen -= size_t(nWritten);
    }
}

void writeDump(int nSignal, const siginfo_t* pInfo)
{
    const time_t nNow = time(nullptr);
    SText path;
    path.add(g_szDumpDir);
    if (path.nLen > 0 && path.szBuf[path.nLen - 1] != '/') {
        path.add("/");
    }
    path.add(g_szName);
    path.add("-");
    path.addNumber(unsigned(getpid()));
    path.add("-");
    addTimestamp(path, nNow);
    path.add(".dmp");

    // O_EXCL: a file of that name that is already there belongs to someone else.
    const int nFd = ::open(path.szBuf, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (nFd < 0) {
        return;
    }
    std::memcpy(g_szDumpFile, path.szBuf, path.nLen + 1);
    SText head;
    head.add("process: ");
    head.add(g_szName);
    head.add("\npid: ");
    head.addNumber(unsigned(getpid()));
    head.add("\nthread: ");
    head.addNumber(static_cast<unsigned long long>(currentThreadId()));
    head.add("\ntime: ");
    addTimestamp(head, nNow);
    head.add("\nsignal: ");
    head.addNumber(unsigned(nSignal));
    head.add(" (");
    head.add(signalName(nSignal));
    head.add(")\naddress: 0x");
    head.addNumber(pInfo ? reinterpret_cast<unsigned long long>(pInfo->si_addr) : 0, 16);
    head.add("\nbacktrace:\n");
    writeAll(nFd, head.szBuf, head.nLen);

    void* frames[64];
    const int nFrames = backtrace(frames, 64);
    backtrace_symbols_fd(frames, nFrames, nFd);
    ::close(nFd);
}

void restoreDefault(int nSignal)
{
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(nSignal, &dfl, nullptr);
}

void tellWatchdog(int nValue)
{
    if (g_watchdogPipe[1] >= 0) {
        writeAll(g_watchdogPipe[1], reinterpret_cast<const char*>(&nValue), sizeof(nValue));
    }
}

void* watchdogMain(void*)
{
    int nSignal = 0;
    for (;;) {
        const ssize_t nRead = ::read(g_watchdogPipe[0], &nSignal, sizeof(nSignal));
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead != sizeof(nSignal)) {
            return nullptr; // closed by CrashAPI_Uninit
        }
        if (nSignal > 0) {
            break;
        }
    }
    pollfd done{g_watchdogPipe[0], POLLIN, 0};
    if (::poll(&done, 1, kWatchdogSeconds * 1000) > 0) {
        return nullptr; // the handler finished and ends the process itself
    }
    logkit::writeFromSignalHandler(5, "MessageClient", __LINE__, "CrashAPI watchdog",
                                   "crash handler did not finish in time, process ends");
    // Die of the signal the handler got; this thread does not block it.
    restoreDefault(nSignal);
    ::kill(getpid(), nSignal);
    ::sleep(1);
    ::_exit(128 + nSignal);
}

void onFatalSignal(int nSignal, siginfo_t* pInfo, void*)
{
    const int nSavedErrno = errno;
    const long nSelf = currentThreadId();
    long nExpected = 0;
    if (g_nCrashingThread.compare_exchange_strong(nExpected, nSelf)) {
        tellWatchdog(nSignal);
        writeDump(nSignal, pInfo);
        if (CrashCallback pCallback = g_pCallback.load()) {
            pCallback();
        }
        tellWatchdog(0);
    } else if (nExpected != nSelf) {
        // Another thread is reporting and will end the process (the watchdog
        // bounds it); this one must not die first with a half-written dump.
        for (;;) {
            ::pause();
        }
    }
    // A fault inside the handler itself, or the end of a report: die of the
    // signal with its default action once this handler returns.
    restoreDefault(nSignal);
    raise(nSignal);
    errno = nSavedErrno;
}

void copyBounded(char* szDest, size_t nSize, const char* szSrc)
{
    size_t nLen = std::strlen(szSrc);
    if (nLen >= nSize) {
        nLen = nSize - 1;
    }
    std::memcpy(szDest, szSrc, nLen);
    szDest[nLen] = '\0';
}

void prepareName()
{
    // The executable's own file name; /proc/self/comm would cut it at 15 characters.
    char szPath[kPathMax] = "";
    const ssize_t nLen = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (nLen <= 0) {
        return;
    }
    szPath[nLen] = '\0';
    const char* szBase = std::strrchr(szPath, '/');
    szBase = szBase ? szBase + 1 : szPath;
    if (szBase[0]) {
        copyBounded(g_szName, sizeof(g_szName), szBase);
    }
}

bool makeDumpDir(const char* szPath)
{
    std::error_code ec;
    std::filesystem::create_directories(szPath, ec);
    if (ec) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,cannot create dump folder %s: %s", __LINE__, "CrashAPI",
                 szPath, ec.message().c_str());
        return false;
    }
    return true;
}

void startWatchdog()
{
    if (::pipe2(g_watchdogPipe, O_CLOEXEC) != 0) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,no crash watchdog: %s", __LINE__, "CrashAPI_Init",
                 std::strerror(errno));
        return;
    }
    // The watchdog takes none of the process's other signals, but must not
    // block the fatal ones it may have to deliver to the process.
    sigset_t mask, previous;
    sigfillset(&mask);
    for (int nSignal : kSignals) {
        sigdelset(&mask, nSignal);
    }
    pthread_sigmask(SIG_SETMASK, &mask, &previous);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 64 * 1024);
    g_bWatchdog = pthread_create(&g_watchdog, &attr, watchdogMain, nullptr) == 0;
    pthread_attr_destroy(&attr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!g_bWatchdog) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,no crash watchdog thread", __LINE__, "CrashAPI_Init");
    }
}

void stopWatchdog()
{
    if (g_watchdogPipe[1] >= 0) {
        ::close(g_watchdogPipe[1]);
        g_watchdogPipe[1] = -1;
    }
    if (g_bWatchdog) {
        pthread_join(g_watchdog, nullptr);
        g_bWatchdog = false;
    }
    if (g_watchdogPipe[0] >= 0) {
        ::close(g_watchdogPipe[0]);
        g_watchdogPipe[0] = -1;
    }
}

// One alternate stack per thread, with a guard page below it; the thread's
// previous alternate stack (a sanitizer runtime installs its own) comes back
// when the thread ends.
struct ThreadAltStack
{
    char* pMapping = nullptr;
    size_t nMapping = 0;
    stack_t previous{};

    void install()
    {
        stack_t current;
        if (pMapping || sigaltstack(nullptr, &current) != 0) {
            return;
        }
        if (!(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize) {
            return;
        }
        const size_t nPage = size_t(sysconf(_SC_PAGESIZE));
        nMapping = kAltStackSize + nPage;
        void* pMem = mmap(nullptr, nMapping, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pMem == MAP_FAILED) {
            return;
        }
        pMapping = static_cast<char*>(pMem);
        mprotect(pMapping, nPage, PROT_NONE);
        stack_t ours;
        ours.ss_sp = pMapping + nPage;
        ours.ss_size = kAltStackSize;
        ours.ss_flags = 0;
        if (sigaltstack(&ours, &previous) != 0) {
            munmap(pMapping, nMapping);
            pMapping = nullptr;
        }
    }

    ~ThreadAltStack()
    {
        if (!pMapping) {
            return;
        }
        stack_t current;
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == pMapping + (nMapping - kAltStackSize)) {
            if (previous.ss_flags & SS_DISABLE) {
                previous.ss_sp = nullptr;
                previous.ss_size = 0;
            }
            sigaltstack(&previous, nullptr);
        }
        munmap(pMapping, nMapping);
    }
};

thread_local ThreadAltStack t_altStack;

} // namespace

void CrashAPI_InitThread()
{
    t_altStack.install();
}

const char* CrashAPI_GetDumpFile()
{
    return g_szDumpFile;
}

void CrashAPI_Init()
{
    if (g_bInstalled) {
        return;
    }
    prepareName();
    if (!g_szDumpDir[0]) {
        const std::string strDefault = logkit::logDirectory() + "/dumps";
        copyBounded(g_szDumpDir, sizeof(g_szDumpDir), strDefault.c_str());
    }
    makeDumpDir(g_szDumpDir);
    logkit::prepareSignalSafeWrite();
    // backtrace() loads its unwinder on first use; do that now, not in the handler.
    void* pWarm[2];
    backtrace(pWarm, 2);
    startWatchdog();

    CrashAPI_InitThread();
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
    g_bInstalled = true;
    LogWrite(3, "MessageClient", "<%d>\t<%s>,crash handler installed, dumps to %s", __LINE__, "CrashAPI_Init",
             g_szDumpDir);
}

void CrashAPI_SetDumpPath(const char* szPath)
{
    if (!szPath || !szPath[0]) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,empty dump path ignored", __LINE__, "CrashAPI_SetDumpPath");
        return;
    }
    if (std::strlen(szPath) >= kPathMax - 300) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,dump path too long, ignored", __LINE__,
                 "CrashAPI_SetDumpPath");
        return;
    }
    copyBounded(g_szDumpDir, sizeof(g_szDumpDir), szPath);
    if (makeDumpDir(g_szDumpDir)) {
        LogWrite(3, "MessageClient", "<%d>\t<%s>,dumps to %s", __LINE__, "CrashAPI_SetDumpPath", g_szDumpDir);
    }
}

void CrashAPI_SetCallBack(CrashCallback pCallback)
{
    g_pCallback.store(pCallback);
}

void CrashAPI_Uninit()
{
    if (!g_bInstalled) {
        return;
    }
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    stopWatchdog();
    g_pCallback.store(nullptr);
    g_bInstalled = false;
}
