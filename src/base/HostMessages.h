// Numbers of the window messages the module sends to its host.
#pragma once

#include "base/WinTypes.h"

constexpr UINT WM_WNDDRAG_END = WM_USER + 1010;          // 2034, posted
constexpr UINT WM_MODULE_CLOSE = WM_USER + 1020;         // 2044, sent
constexpr UINT WM_REFRESHTOKEN_FAIL = WM_USER + 1021;    // 2045, posted
constexpr UINT WM_PROCESS_SHOWWND = WM_USER + 1028;      // 2052, sent
constexpr UINT WM_UNREAD_COUNT = WM_USER + 1030;         // 2054, posted
constexpr UINT WM_ACESSTOKEN_LOSS_RELD = WM_USER + 1035; // 2059, sent
constexpr UINT WM_TOPLEV_MOUSEPRESS = WM_USER + 1049;    // 2073, posted
constexpr UINT WM_PUSH_AIMSG = 8591;                     // to the module's own window

constexpr std::uintptr_t COPYDATA_TOKEN = 12; // dwData of the token hand-back

static_assert(WM_WNDDRAG_END == 2034 && WM_MODULE_CLOSE == 2044 && WM_REFRESHTOKEN_FAIL == 2045 &&
                  WM_PROCESS_SHOWWND == 2052 && WM_UNREAD_COUNT == 2054 && WM_ACESSTOKEN_LOSS_RELD == 2059 &&
                  WM_TOPLEV_MOUSEPRESS == 2073,
              "host message numbers are fixed by the host");
