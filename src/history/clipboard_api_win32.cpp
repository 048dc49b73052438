#include "history/clipboard_api_win32.h"

namespace revertly::history {

ClipboardApi& Api() {
    static ClipboardApi api;
    return api;
}

void FreeGlobal(HGLOBAL block) {
    const DWORD error = GetLastError();
    Api().GlobalFree(block);
    SetLastError(error);
}

void FreeMetaFile(HMETAFILE metafile) {
    const DWORD error = GetLastError();
    Api().DeleteMetaFile(metafile);
    SetLastError(error);
}

}  // namespace revertly::history
