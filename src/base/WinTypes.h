// The few window-system types and numbers the module speaks to its host with.
// On this platform a "window handle" is the number that names the host's endpoint.
#pragma once

#include <cstdint>

using HWND = std::intptr_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct COPYDATASTRUCT
{
    std::uintptr_t dwData;
    std::uint32_t cbData;
    const void* lpData;
};

struct RECT
{
    int left;
    int top;
    int right;
    int bottom;
};

constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_USER = 0x0400;
