// A fresh folder per test, removed again afterwards, and raw byte access to its files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace revertly::testing {

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full path of a file in the folder, as the program's UTF-16 text.
    std::u16string File(std::u16string_view name) const;

  private:
    std::filesystem::path path_;
};

std::string ReadBytes(const std::u16string& path);
void WriteBytes(const std::u16string& path, std::string_view bytes);
bool FileExists(const std::u16string& path);
void SetReadOnly(const std::u16string& path, bool readOnly);
// The names of the files in a folder, sorted.
std::string ListFolder(const std::filesystem::path& folder);

}  // namespace revertly::testing
