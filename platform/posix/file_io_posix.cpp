// Positional file access on POSIX: descriptors, pwrite and pread.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_io.h"

namespace {

int Fd(NativeFile file) {
    return static_cast<int>(file);
}

}  // namespace

NativeFile CreateFileForWrite(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? kNoNativeFile : static_cast<NativeFile>(fd);
}

RegularOpenResult OpenRegularFile(const std::string& path, uint64_t keepBytes, NativeFile& out) {
    // No final symbolic link is followed; O_NONBLOCK keeps a FIFO from
    // blocking the open, and fstat then refuses it like a device.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == ELOOP ? RegularOpenResult::kNotRegular : RegularOpenResult::kFailed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return RegularOpenResult::kNotRegular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (static_cast<uint64_t>(st.st_size) > keepBytes &&
         ::ftruncate(fd, static_cast<off_t>(keepBytes)) != 0)) {
        ::close(fd);
        return RegularOpenResult::kFailed;
    }
    out = static_cast<NativeFile>(fd);
    return RegularOpenResult::kOpened;
}

bool WriteFileAt(NativeFile file, uint64_t offset, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::pwrite(Fd(file), p, n, static_cast<off_t>(offset));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
        offset += static_cast<uint64_t>(w);
    }
    return true;
}

int CloseNativeFile(NativeFile file) {
    if (file == kNoNativeFile)
        return -1;
    return ::close(Fd(file)) == 0 ? 0 : -1;
}

int64_t ReadRegularFile(const std::string& path, void* out, uint64_t max) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    int64_t done = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        done = 0;
        char* p = static_cast<char*>(out);
        while (static_cast<uint64_t>(done) < max) {
            const ssize_t r = ::pread(fd, p + done, max - static_cast<uint64_t>(done), done);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            done += r;
        }
    }
    ::close(fd);
    return done;
}
