#include "shell/ProcessEnd.h"

#include "native/ModulePath.h"

namespace {
std::function<void()>& processEnd()
{
    static std::function<void()> fnEnd;
    return fnEnd;
}
} // namespace

void EndModuleProcess()
{
    if (processEnd()) {
        processEnd()();
        return;
    }
    native::EndOwnProcess(0);
}

void SetModuleProcessEnd(std::function<void()> fnEnd)
{
    processEnd() = std::move(fnEnd);
}
