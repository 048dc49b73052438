// The Windows side of the code page: the system's conversion functions.
#pragma once

#include <windows.h>

namespace revertly::files {

// Every call that the code page makes goes through this one table, so that a test can make a
// conversion fail on purpose (replace an entry, put the saved table back after).
struct CodepageApi {
    decltype(&::MultiByteToWideChar) MultiByteToWideChar = ::MultiByteToWideChar;
    decltype(&::WideCharToMultiByte) WideCharToMultiByte = ::WideCharToMultiByte;
};

// The table in use; starts out with the real functions.
CodepageApi& CodepageCalls();

}  // namespace revertly::files
