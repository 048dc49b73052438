// A folder of its own for each test's copy of the program.
#pragma once

#include <filesystem>
#include <string_view>

namespace revertly::driver {

// A new folder in the temporary folder, removed with everything in it at the end. A number
// after the name given makes it unique.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::wstring_view name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace revertly::driver
