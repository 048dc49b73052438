// Every Win32 call that the kept history's adapters make (the folder, the key's protection
// and the cipher) goes through this one table, so that a test can make a call fail on
// purpose: replace an entry, and put the saved table back after.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <bcrypt.h>
#include <shlobj.h>
#include <wincrypt.h>

#include "settings/api_win32.h"

namespace revertly::keep {

// The whole-file calls come first: the files are written as the settings' files are.
struct Win32Api : files::FileCalls {
    // The folder.
    decltype(&::CreateDirectoryW) CreateDirectoryW = ::CreateDirectoryW;
    decltype(&::RemoveDirectoryW) RemoveDirectoryW = ::RemoveDirectoryW;
    decltype(&::FindFirstFileW) FindFirstFileW = ::FindFirstFileW;
    decltype(&::FindNextFileW) FindNextFileW = ::FindNextFileW;
    decltype(&::FindClose) FindClose = ::FindClose;
    decltype(&::SHGetKnownFolderPath) SHGetKnownFolderPath = ::SHGetKnownFolderPath;
    decltype(&::CoTaskMemFree) CoTaskMemFree = ::CoTaskMemFree;

    // The key's protection.
    decltype(&::CryptProtectData) CryptProtectData = ::CryptProtectData;
    decltype(&::CryptUnprotectData) CryptUnprotectData = ::CryptUnprotectData;
    decltype(&::LocalFree) LocalFree = ::LocalFree;

    // The cipher.
    decltype(&::BCryptGenRandom) BCryptGenRandom = ::BCryptGenRandom;
    decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider =
        ::BCryptOpenAlgorithmProvider;
    decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider =
        ::BCryptCloseAlgorithmProvider;
    decltype(&::BCryptSetProperty) BCryptSetProperty = ::BCryptSetProperty;
    decltype(&::BCryptGenerateSymmetricKey) BCryptGenerateSymmetricKey =
        ::BCryptGenerateSymmetricKey;
    decltype(&::BCryptDestroyKey) BCryptDestroyKey = ::BCryptDestroyKey;
    decltype(&::BCryptEncrypt) BCryptEncrypt = ::BCryptEncrypt;
    decltype(&::BCryptDecrypt) BCryptDecrypt = ::BCryptDecrypt;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

}  // namespace revertly::keep
