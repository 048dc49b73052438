#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace revertly::testing {

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    // A non-ASCII folder name keeps the file code honest about wide paths.
    path_ =
        fs::temp_directory_path() /
        fs::path(u"revertly-\u0442\u0435\u0441\u0442-" +
                 fs::path(std::to_string(random()) + "-" + std::to_string(counter++)).u16string());
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(path_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

std::u16string ScratchDir::File(std::u16string_view name) const {
    return (path_ / fs::path(name)).u16string();
}

std::string ReadBytes(const std::u16string& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << fs::path(path).string();
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::u16string& path, std::string_view bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << fs::path(path).string();
}

bool FileExists(const std::u16string& path) {
    return fs::exists(fs::path(path));
}

void SetReadOnly(const std::u16string& path, bool readOnly) {
    fs::permissions(fs::path(path),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

std::string ListFolder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto& name : names) {
        joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

}  // namespace revertly::testing
