// Every Win32 call that the clipboard adapter makes goes through this one table, so that a
// test can make a call fail on purpose (replace an entry, put the saved table back after).
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

namespace revertly::history {

struct Win32Api {
    decltype(&::OpenClipboard) OpenClipboard = ::OpenClipboard;
    decltype(&::CloseClipboard) CloseClipboard = ::CloseClipboard;
    decltype(&::CountClipboardFormats) CountClipboardFormats = ::CountClipboardFormats;
    decltype(&::EnumClipboardFormats) EnumClipboardFormats = ::EnumClipboardFormats;
    decltype(&::GetClipboardData) GetClipboardData = ::GetClipboardData;
    decltype(&::GetClipboardFormatNameW) GetClipboardFormatNameW = ::GetClipboardFormatNameW;
    decltype(&::EmptyClipboard) EmptyClipboard = ::EmptyClipboard;
    decltype(&::SetClipboardData) SetClipboardData = ::SetClipboardData;
    decltype(&::RegisterClipboardFormatW) RegisterClipboardFormatW = ::RegisterClipboardFormatW;
    decltype(&::GlobalAlloc) GlobalAlloc = ::GlobalAlloc;
    decltype(&::GlobalLock) GlobalLock = ::GlobalLock;
    decltype(&::GlobalUnlock) GlobalUnlock = ::GlobalUnlock;
    decltype(&::GlobalSize) GlobalSize = ::GlobalSize;
    decltype(&::GlobalFree) GlobalFree = ::GlobalFree;
    decltype(&::CopyMetaFileW) CopyMetaFileW = ::CopyMetaFileW;
    decltype(&::DeleteMetaFile) DeleteMetaFile = ::DeleteMetaFile;
    decltype(&::CopyEnhMetaFileW) CopyEnhMetaFileW = ::CopyEnhMetaFileW;
    decltype(&::DeleteEnhMetaFile) DeleteEnhMetaFile = ::DeleteEnhMetaFile;
    decltype(&::GetMetaFileBitsEx) GetMetaFileBitsEx = ::GetMetaFileBitsEx;
    decltype(&::GetEnhMetaFileBits) GetEnhMetaFileBits = ::GetEnhMetaFileBits;
    decltype(&::GetClipboardSequenceNumber) GetClipboardSequenceNumber =
        ::GetClipboardSequenceNumber;
    decltype(&::GetClipboardOwner) GetClipboardOwner = ::GetClipboardOwner;
    decltype(&::GetTickCount64) GetTickCount64 = ::GetTickCount64;
    decltype(&::GetLastError) GetLastError = ::GetLastError;
    decltype(&::SetLastError) SetLastError = ::SetLastError;
    decltype(&::SetClipboardViewer) SetClipboardViewer = ::SetClipboardViewer;
    decltype(&::ChangeClipboardChain) ChangeClipboardChain = ::ChangeClipboardChain;
    decltype(&::AddClipboardFormatListener) AddClipboardFormatListener =
        ::AddClipboardFormatListener;
    decltype(&::RemoveClipboardFormatListener) RemoveClipboardFormatListener =
        ::RemoveClipboardFormatListener;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

// Release functions of the owning types: through the table, keeping GetLastError.
void FreeGlobal(HGLOBAL block);
void FreeMetaFile(HMETAFILE metafile);
void FreeEnhMetaFile(HENHMETAFILE metafile);

using UniqueGlobal = UniqueHandle<HGLOBAL, &FreeGlobal>;
using UniqueMetaFile = UniqueHandle<HMETAFILE, &FreeMetaFile>;
using UniqueEnhMetaFile = UniqueHandle<HENHMETAFILE, &FreeEnhMetaFile>;

// Keeps a global memory block locked for its own lifetime.
class GlobalLockGuard {
  public:
    explicit GlobalLockGuard(HGLOBAL block)
        : block_(block), bytes_(block ? Api().GlobalLock(block) : nullptr) {}
    ~GlobalLockGuard() {
        if (bytes_) {
            Api().GlobalUnlock(block_);
        }
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    // The block's bytes; null when the handle could not be locked as a memory block.
    void* bytes() const { return bytes_; }

  private:
    HGLOBAL block_;
    void* bytes_;
};

}  // namespace revertly::history
