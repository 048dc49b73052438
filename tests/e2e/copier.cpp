// Another program that copies: puts the text on the clipboard the given number of times in
// quick succession, with a window of its own as the clipboard's owner, and stays (a program
// that has ended can no longer be named), handling its messages, until it is ended, or for 10
// seconds at the most.
// Usage: copier <text> <times>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    const std::wstring text = argv[1];
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    for (int copy = std::wcstol(argv[2], nullptr, 10); copy > 0; --copy) {
        while (!OpenClipboard(window)) {
            Sleep(1);  // another program has it for a moment
        }
        EmptyClipboard();
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
        std::memcpy(GlobalLock(block), text.c_str(), bytes);
        GlobalUnlock(block);
        if (SetClipboardData(CF_UNICODETEXT, block) == nullptr) {
            GlobalFree(block);
        }
        CloseClipboard();
    }
    // Its messages are handled meanwhile, as any program's are: the next program to empty the
    // clipboard sends its owner a message and waits for the answer (under Wine for up to 5 s).
    const ULONGLONG end = GetTickCount64() + 10000;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(window);
    return 0;
}
