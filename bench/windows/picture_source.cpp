// Plays a screenshot tool: puts one 4K picture on the clipboard as a device-independent bitmap,
// then ends. Usage: picture_source screen|noise <number>
#include <cstdlib>
#include <string>

#include "e2e/clipboard.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::wstring kind = argv[1];
    const int number = _wtoi(argv[2]);
    const std::string picture = kind == L"noise" ? revertly::driver::NoisePicture(number)
                                                 : revertly::driver::ScreenPicture(number);
    return revertly::driver::SetClipboardBlock(CF_DIB, picture) ? 0 : 1;
}
