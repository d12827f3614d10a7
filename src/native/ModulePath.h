// Where the module lives, path tests and ending the module's own process.
#pragma once

#include <string>

namespace native {

// Directory of the library file that holds this code, ending in "/"; empty when
// it cannot be found.
std::string GetModuleDir();

// True when the path exists and, with bWantFile, is not a directory.
bool PathExists(const std::string& strPath, bool bWantFile);

// Ends this process (only this one) with the given exit code, without running
// further event processing.
[[noreturn]] void EndOwnProcess(int nExitCode);

} // namespace native
