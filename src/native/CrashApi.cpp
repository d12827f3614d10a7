#include "native/CrashApi.h"

#include "logkit/LogKit.h"
#include "native/ModulePath.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);
constexpr size_t kPathMax = 4096;
constexpr size_t kAltStackSize = 256 * 1024;

// Everything the handler touches is prepared beforehand in static storage, so
// the handler itself needs no allocation and no locks.
char g_szDumpDir[kPathMax] = "";
char g_szName[256] = "MessageClient";
std::atomic<CrashCallback> g_pCallback{nullptr};
struct sigaction g_previous[kSignalCount];
bool g_bInstalled = false;
alignas(16) char g_altStack[kAltStackSize];
stack_t g_previousStack;
volatile sig_atomic_t g_bInHandler = 0;

// A tiny append-only text buffer for the handler (no stdio there).
struct SText
{
    char szBuf[kPathMax + 512];
    size_t nLen = 0;

    void add(const char* sz)
    {
        while (*sz && nLen + 1 < sizeof(szBuf)) {
            szBuf[nLen++] = *sz++;
        }
        szBuf[nLen] = '\0';
    }
    void addNumber(unsigned long long nValue, unsigned nBase = 10, int nMinDigits = 1)
    {
        char szDigits[32];
        int nCount = 0;
        while ((nValue > 0 || nCount < nMinDigits) && nCount < 31) {
            const unsigned nDigit = unsigned(nValue % nBase);
            szDigits[nCount++] = char(nDigit < 10 ? '0' + nDigit : 'a' + nDigit - 10);
            nValue /= nBase;
        }
        char szOut[32];
        for (int i = 0; i < nCount; ++i) {
            szOut[i] = szDigits[nCount - 1 - i];
        }
        szOut[nCount] = '\0';
        add(szOut);
    }
};

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

// UTC calendar time from seconds, by arithmetic only (localtime is not safe here).
void addTimestamp(SText& text, time_t nNow)
{
    long long nDays = nNow / 86400;
    const long long nSecs = nNow % 86400;
    nDays += 719468;
    const long long nEra = nDays / 146097;
    const long long nDoe = nDays - nEra * 146097;
    const long long nYoe = (nDoe - nDoe / 1460 + nDoe / 36524 - nDoe / 146096) / 365;
    const long long nDoy = nDoe - (365 * nYoe + nYoe / 4 - nYoe / 100);
    const long long nMp = (5 * nDoy + 2) / 153;
    const long long nDay = nDoy - (153 * nMp + 2) / 5 + 1;
    const long long nMonth = nMp < 10 ? nMp + 3 : nMp - 9;
    const long long nYear = nYoe + nEra * 400 + (nMonth <= 2 ? 1 : 0);
    text.addNumber(nYear, 10, 4);
    text.addNumber(nMonth, 10, 2);
    text.addNumber(nDay, 10, 2);
    text.add("T");
    text.addNumber(nSecs / 3600, 10, 2);
    text.addNumber(nSecs / 60 % 60, 10, 2);
    text.addNumber(nSecs % 60, 10, 2);
    text.add("Z");
}

void writeAll(int nFd, const char* pData, size_t nLen)
{
    while (nLen > 0) {
        const ssize_t nWritten = ::write(nFd, pData, nLen);
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

    const int nFd = ::open(path.szBuf, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (nFd < 0) {
        return;
    }
    SText head;
    head.add("process: ");
    head.add(g_szName);
    head.add("\npid: ");
    head.addNumber(unsigned(getpid()));
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

void onFatalSignal(int nSignal, siginfo_t* pInfo, void*)
{
    if (!g_bInHandler) {
        g_bInHandler = 1;
        writeDump(nSignal, pInfo);
        if (CrashCallback pCallback = g_pCallback.load()) {
            pCallback();
        }
    }
    // Die of the same signal with its default action once this handler returns.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(nSignal, &dfl, nullptr);
    raise(nSignal);
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

} // namespace

void CrashAPI_Init()
{
    if (g_bInstalled) {
        return;
    }
    prepareName();
    if (!g_szDumpDir[0]) {
        copyBounded(g_szDumpDir, sizeof(g_szDumpDir), native::GetModuleDir().c_str());
    }
    // backtrace() loads its unwinder on first use; do that now, not in the handler.
    void* pWarm[2];
    backtrace(pWarm, 2);

    stack_t altStack;
    altStack.ss_sp = g_altStack;
    altStack.ss_size = sizeof(g_altStack);
    altStack.ss_flags = 0;
    if (sigaltstack(&altStack, &g_previousStack) != 0) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,no alternate signal stack: %s", __LINE__, "CrashAPI_Init",
                 std::strerror(errno));
    }
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
    sigaltstack(&g_previousStack, nullptr);
    g_pCallback.store(nullptr);
    g_bInstalled = false;
}
