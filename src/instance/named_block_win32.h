// Named blocks as file mappings backed by the paging file, in the object namespace of the
// user's log-on.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"
#include "instance/one_instance.h"

namespace revertly::instance {

// Every Win32 call that the named-block adapter makes goes through this one table, so that
// a test can make a call fail on purpose (replace an entry, put the saved table back after).
struct Win32Api {
    decltype(&::OpenFileMappingW) OpenFileMappingW = ::OpenFileMappingW;
    decltype(&::CreateFileMappingW) CreateFileMappingW = ::CreateFileMappingW;
    decltype(&::MapViewOfFile) MapViewOfFile = ::MapViewOfFile;
    decltype(&::UnmapViewOfFile) UnmapViewOfFile = ::UnmapViewOfFile;
    decltype(&::CloseHandle) CloseHandle = ::CloseHandle;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

// Release function of the owning type: through the table, keeping GetLastError.
void CloseKernelHandle(HANDLE handle);
// The file mapping that holds the block.
using UniqueMapping = UniqueHandle<HANDLE, &CloseKernelHandle>;

class Win32NamedBlocks final : public NamedBlockPort {
  public:
    BlockHandle OpenForReading(std::u16string_view name) override;
    CreateResult Create(std::u16string_view name, std::uint32_t size) override;
    const void* MapForReading(BlockHandle block, std::uint32_t size) override;
    void* MapForWriting(BlockHandle block, std::uint32_t size) override;
    void Unmap(const void* view) override;
    void Close(BlockHandle block) override;
};

}  // namespace revertly::instance
