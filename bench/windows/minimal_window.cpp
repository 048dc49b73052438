// The reference for the idle figures: the least a program of Revertly's kind can be, one
// hidden top-level window and a message loop, loading the same system libraries (user32,
// gdi32, shell32, ole32, and comctl32 6 through the same manifest). It ends when its window
// is closed.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The linker keeps only the imports that are used: one harmless call into each library
    // makes Windows load it at start, as it loads them for Revertly.
    CoTaskMemFree(nullptr);
    ILFree(nullptr);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"RevertlyMinimalWindow";
    RegisterClassExW(&windowClass);
    if (!CreateWindowExW(0, windowClass.lpszClassName, L"Minimal", WS_OVERLAPPEDWINDOW,
                         CW_USEDEFAULT, CW_USEDEFAULT, 300, 200, nullptr, nullptr, instance,
                         nullptr)) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
