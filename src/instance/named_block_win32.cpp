// The named block as a file mapping. Every Win32 call goes through Api().

#include "instance/named_block_win32.h"

#include <string>

#include "common/last_error_win32.h"

namespace revertly::instance {
namespace {

HANDLE ToHandle(BlockHandle block) {
    return reinterpret_cast<HANDLE>(block);
}
BlockHandle FromHandle(HANDLE handle) {
    return reinterpret_cast<BlockHandle>(handle);
}

// The name up to its end; a U+0000 inside it would cut the Windows name short anyway.
std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

Win32Api& Api() {
    static Win32Api api;
    return api;
}

void CloseKernelHandle(HANDLE handle) {
    const LastErrorContext keepError;
    Api().CloseHandle(handle);
}

BlockHandle Win32NamedBlocks::OpenForReading(std::u16string_view name) {
    return FromHandle(Api().OpenFileMappingW(FILE_MAP_READ, FALSE, ToWide(name).c_str()));
}

CreateResult Win32NamedBlocks::Create(std::u16string_view name, std::uint32_t size) {
    const std::wstring wideName = ToWide(name);
    // On an existing name CreateFileMappingW opens that object and tells so only through
    // the last error, which it is not documented to clear otherwise.
    SetLastError(ERROR_SUCCESS);
    UniqueMapping mapping(Api().CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                   size, wideName.c_str()));
    if (!mapping) {
        return {CreateOutcome::Failed, 0};
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another copy made it first. Our handle to its block is closed here.
        return {CreateOutcome::AlreadyExisted, 0};
    }
    return {CreateOutcome::Created, FromHandle(mapping.release())};
}

const void* Win32NamedBlocks::MapForReading(BlockHandle block, std::uint32_t size) {
    return Api().MapViewOfFile(ToHandle(block), FILE_MAP_READ, 0, 0, size);
}

void* Win32NamedBlocks::MapForWriting(BlockHandle block, std::uint32_t size) {
    return Api().MapViewOfFile(ToHandle(block), FILE_MAP_WRITE, 0, 0, size);
}

void Win32NamedBlocks::Unmap(const void* view) {
    const LastErrorContext keepError;
    Api().UnmapViewOfFile(view);
}

void Win32NamedBlocks::Close(BlockHandle block) {
    CloseKernelHandle(ToHandle(block));
}

}  // namespace revertly::instance
