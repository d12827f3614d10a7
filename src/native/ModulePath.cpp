#include "native/ModulePath.h"

#include "logkit/LogKit.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string resolvedPath(const char* szPath)
{
    if (!szPath || !szPath[0]) {
        return std::string();
    }
    char* szReal = realpath(szPath, nullptr);
    if (!szReal) {
        return std::string();
    }
    std::string strReal(szReal);
    std::free(szReal);
    return strReal;
}

std::string executablePath()
{
    char szBuf[4096];
    const ssize_t nLen = readlink("/proc/self/exe", szBuf, sizeof(szBuf) - 1);
    if (nLen <= 0) {
        return std::string();
    }
    szBuf[nLen] = '\0';
    return std::string(szBuf);
}

} // namespace

namespace native {

std::string GetModuleDir()
{
    Dl_info info{};
    std::string strFile;
    // The main program's entry may come back without a usable name (or as a
    // relative argv[0] after a directory change); the kernel knows it for sure.
    if (dladdr(reinterpret_cast<void*>(&GetModuleDir), &info) != 0) {
        strFile = resolvedPath(info.dli_fname);
    }
    if (strFile.empty() || !PathExists(strFile, true)) {
        strFile = executablePath();
    }
    const std::string::size_type nSlash = strFile.rfind('/');
    if (nSlash == std::string::npos) {
        LogWrite(5, "MessageClient", "<%d>\t<%s>,module file not found", __LINE__, "native::GetModuleDir");
        return std::string();
    }
    return strFile.substr(0, nSlash + 1);
}

bool PathExists(const std::string& strPath, bool bWantFile)
{
    struct stat st;
    if (strPath.empty() || ::stat(strPath.c_str(), &st) != 0) {
        return false;
    }
    return !bWantFile || !S_ISDIR(st.st_mode);
}

void EndOwnProcess(int nExitCode)
{
    LogWrite(3, "MessageClient", "<%d>\t<%s>,process ends with code %d", __LINE__, "native::EndOwnProcess",
             nExitCode);
    // The log sinks write through stdio; _exit would drop what they still buffer.
    std::fflush(nullptr);
    _exit(nExitCode);
}

} // namespace native
