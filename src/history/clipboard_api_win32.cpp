#include "history/clipboard_api_win32.h"

#include "common/last_error_win32.h"

namespace revertly::history {

Win32Api& Api() {
    static Win32Api api;
    return api;
}

void FreeGlobal(HGLOBAL block) {
    const LastErrorContext keepError;
    Api().GlobalFree(block);
}

void FreeMetaFile(HMETAFILE metafile) {
    const LastErrorContext keepError;
    Api().DeleteMetaFile(metafile);
}

void FreeEnhMetaFile(HENHMETAFILE metafile) {
    const LastErrorContext keepError;
    Api().DeleteEnhMetaFile(metafile);
}

}  // namespace revertly::history
