#include "platform/install_fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/text.h"

namespace {

constexpr size_t kFallbackBlock = 1 << 20;

// Errors after which the copy goes on through this process's memory: the
// kernel cannot copy between these files (other file systems, old kernels,
// a sandbox that refuses the call with EPERM).
bool KernelCopyUnavailable(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
           error == EPERM;
}

bool CopyThroughMemory(int in, off_t& inPos, int out, off_t& outPos, int64_t& remaining) {
    std::vector<char> block(kFallbackBlock);
    while (remaining > 0) {
        const size_t want =
            remaining < static_cast<int64_t>(block.size()) ? remaining : block.size();
        const ssize_t n = pread(in, block.data(), want, inPos);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = pwrite(out, block.data() + done, n - done, outPos);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
            outPos += w;
        }
        inPos += n;
        remaining -= n;
    }
    return true;
}

bool CopyRange(int in, off_t inPos, int out, int64_t remaining) {
    off_t outPos = 0;
    while (remaining > 0) {
        const ssize_t n = copy_file_range(in, &inPos, out, &outPos, remaining, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && KernelCopyUnavailable(errno))
            return CopyThroughMemory(in, inPos, out, outPos, remaining);
        if (n <= 0)
            return false;  // an error, or the source ended early
        remaining -= n;
    }
    return true;
}

}  // namespace

FolderCreation CreateOneFolder(const std::string& path, bool privateToUser) {
    if (mkdir(path.c_str(), privateToUser ? 0700 : 0755) == 0)
        return FolderCreation::kCreated;
    return errno == EEXIST ? FolderCreation::kExisted : FolderCreation::kFailed;
}

std::string ResolveRealPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

PathKind GetPathKindNoFollow(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return PathKind::kMissing;
    return S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

bool RemoveFileNoFollow(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool RemoveEmptyFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool CopyFileSection(const std::wstring& source, int64_t offset, int64_t size,
                     const std::wstring& target) {
    if (offset < 0 || size < 0)
        return false;
    const int in = open(WideToUtf8(source).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const std::string name = WideToUtf8(target);
    const int out = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    // File systems without reservations (EOPNOTSUPP) simply allocate while writing.
    bool ok = size == 0 || fallocate(out, 0, 0, static_cast<off_t>(size)) == 0 ||
              (errno != ENOSPC && errno != EFBIG && errno != EDQUOT);
    ok = ok && CopyRange(in, static_cast<off_t>(offset), out, size);
    close(in);
    ok = close(out) == 0 && ok;
    if (!ok)
        unlink(name.c_str());
    return ok;
}
