// The owners of the Windows handle kinds that need no seam of their own, one alias each on
// the one template: windows, icons and kernel handles. Each release keeps GetLastError.
#pragma once

#include <windows.h>

#include "common/last_error_win32.h"
#include "common/unique_handle.h"

namespace revertly {

namespace release {
inline void Window(HWND window) {
    const LastErrorContext keepError;
    DestroyWindow(window);
}
inline void Icon(HICON icon) {
    const LastErrorContext keepError;
    DestroyIcon(icon);
}
inline void KernelHandle(HANDLE handle) {
    const LastErrorContext keepError;
    CloseHandle(handle);
}
}  // namespace release

using UniqueWindow = UniqueHandle<HWND, &release::Window>;
using UniqueIcon = UniqueHandle<HICON, &release::Icon>;
// Kernel handles whose failure value is null (processes, threads, events, mappings).
using UniqueKernelHandle = UniqueHandle<HANDLE, &release::KernelHandle>;

}  // namespace revertly
