// Whole-file text I/O on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "settings/codepage.h"
#include "settings/text_file.h"

namespace revertly::files {
namespace {

// Files of 4 GiB or more are not read: Windows would hand us only the low 32 bits of such
// a size, and a wrong piece of the file is worse than no text.
constexpr std::uintmax_t kLargestFile = 0xFFFFFFFF;

constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (IsOpen()) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Get() const { return fd_; }
    // Closes now and tells whether the system reported the file's data as written.
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The file system takes UTF-8 names. A lone surrogate has no UTF-8 form and becomes U+FFFD.
std::string ToUtf8(std::u16string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// A U+0000 would silently cut the name short and point at another file.
bool IsUsablePath(std::u16string_view path) {
    return !path.empty() && path.find(u'\0') == std::u16string_view::npos;
}

bool ReadAll(int fd, std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    bytes.resize(done);
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself survive a power cut. The new content is already complete
// either way, so a failure here changes nothing for the caller.
void SyncFolder(const std::string& folder) {
    const FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.IsOpen()) {
        ::fsync(directory.Get());
    }
}

}  // namespace

// POSIX has no share modes: others could open the file for writing meanwhile. Our own
// writer never writes into the target but renames a finished file over it, so a reader
// always sees one whole version.
std::u16string ReadTextFile(std::u16string_view path) {
    try {
        if (!IsUsablePath(path)) {
            return {};
        }
        const FileDescriptor file(::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
        struct stat info {};
        if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
            static_cast<std::uintmax_t>(info.st_size) > kLargestFile) {
            return {};
        }
        std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
        if (!ReadAll(file.Get(), bytes)) {
            return {};
        }
        return DecodeCp1251(std::string_view(bytes).substr(0, bytes.find('\0')));
    } catch (const std::exception&) {
        return {};
    }
}

// POSIX has no share modes: no reader ever blocks the rename, so a write is never Busy.
WriteResult WriteTextFile(std::u16string_view path, std::u16string_view text,
                          [[maybe_unused]] bool flush, std::uint32_t) {
    try {
        if (!IsUsablePath(path)) {
            return WriteResult::Failed;
        }
        const std::string target = ToUtf8(path);
        const std::string temporary = target + ".tmp";
        const std::string folder = FolderOf(target);
        const std::optional<std::string> bytes = EncodeCp1251(text.substr(0, text.find(u'\0')));
        if (!bytes) {
            return WriteResult::Failed;
        }

        // rename() replaces a file that nobody may write, and as root every access check
        // passes, so a read-only target is recognised by its mode bits alone.
        struct stat old {};
        const bool exists = ::stat(target.c_str(), &old) == 0;
        if (exists && (old.st_mode & kAnyWrite) == 0) {
            return WriteResult::Failed;
        }

        bool written = false;
        {
            FileDescriptor file(::open(
                temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
            if (!file.IsOpen()) {
                return WriteResult::Failed;
            }
            // The replacement keeps the old file's permissions: a private file stays private.
            // It is flushed whatever the caller asked: renaming unflushed data over the old
            // file can leave an empty file after a power cut.
            written = (!exists || ::fchmod(file.Get(), old.st_mode & 0777) == 0) &&
                      WriteAll(file.Get(), *bytes) && ::fsync(file.Get()) == 0;
            written = file.Close() && written;
        }
        if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
            ::unlink(temporary.c_str());
            return WriteResult::Failed;
        }
        SyncFolder(folder);
        return WriteResult::Written;
    } catch (const std::exception&) {
        return WriteResult::Failed;
    }
}

}  // namespace revertly::files
