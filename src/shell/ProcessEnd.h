// How the module ends its own process after closing. Tests that construct the
// window in their own process replace the ending with a recorder.
#pragma once

#include <functional>

void EndModuleProcess();
void SetModuleProcessEnd(std::function<void()> fnEnd);
