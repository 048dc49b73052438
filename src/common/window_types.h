// Window handles and message parameters as the portable core sees them: pointer-sized
// integers, as HWND, WPARAM, LPARAM and LRESULT are on 64-bit Windows.
#pragma once

#include <cstdint>

namespace revertly {

using WindowHandle = std::uintptr_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

}  // namespace revertly
