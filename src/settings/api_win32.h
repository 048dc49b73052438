// Every Win32 call that the settings' adapters make (the code page and the text files) goes
// through this one table, so that a test can make a call fail on purpose: replace an entry,
// and put the saved table back after.
#pragma once

#include <windows.h>

namespace revertly::files {

// The calls of the whole-file code (whole_file_win32.h). Other subsystems that keep files
// take these into their own tables, so that each subsystem still has one seam of its own.
struct FileCalls {
    decltype(&::CreateFileW) CreateFileW = ::CreateFileW;
    decltype(&::CloseHandle) CloseHandle = ::CloseHandle;
    decltype(&::GetFileSizeEx) GetFileSizeEx = ::GetFileSizeEx;
    decltype(&::ReadFile) ReadFile = ::ReadFile;
    decltype(&::WriteFile) WriteFile = ::WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers = ::FlushFileBuffers;
    decltype(&::GetFileAttributesW) GetFileAttributesW = ::GetFileAttributesW;
    decltype(&::MoveFileExW) MoveFileExW = ::MoveFileExW;
    decltype(&::DeleteFileW) DeleteFileW = ::DeleteFileW;
    decltype(&::Sleep) Sleep = ::Sleep;
};

struct Win32Api : FileCalls {
    // The code page.
    decltype(&::MultiByteToWideChar) MultiByteToWideChar = ::MultiByteToWideChar;
    decltype(&::WideCharToMultiByte) WideCharToMultiByte = ::WideCharToMultiByte;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

}  // namespace revertly::files
