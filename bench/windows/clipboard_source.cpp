// Plays another program that copies: puts a text and one registered format of the given
// number of MiB on the clipboard, then ends. The format's bytes are all alike, or with
// "words" text that compresses as prose does. Usage: clipboard_source <MiB> <text> [words]
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "word_text.h"

namespace {

HGLOBAL Block(const void* bytes, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block != nullptr) {
        std::memcpy(GlobalLock(block), bytes, size);
        GlobalUnlock(block);
    }
    return block;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::size_t size = static_cast<std::size_t>(_wtoi(argv[1])) << 20;
    const std::wstring text = argv[2];
    const bool words = argc > 3 && std::wstring(argv[3]) == L"words";
    const std::string data =
        words ? revertly::bench::WordText(size) : std::string(size, static_cast<char>(text.size()));
    // The clipboard takes data only from an owner window.
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    for (int attempt = 0; !OpenClipboard(owner); ++attempt) {
        if (attempt == 100) {
            return 1;
        }
        Sleep(10);
    }
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, Block(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
    if (size > 0) {
        SetClipboardData(RegisterClipboardFormatW(L"Revertly Benchmark Data"),
                         Block(data.data(), size));
    }
    CloseClipboard();
    DestroyWindow(owner);
    return 0;
}
