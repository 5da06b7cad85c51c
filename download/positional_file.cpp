#include "download/positional_file.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

bool PositionalFile::Create(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::unique_lock<std::shared_mutex> lock(m_lock);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return true;
}

PositionalFile::OpenResult PositionalFile::Open(const std::string& path, uint64_t keepBytes) {
    // No final symbolic link is followed; O_NONBLOCK keeps a FIFO from
    // blocking the open, and fstat then refuses it like a device.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == ELOOP ? OpenResult::kNotRegular : OpenResult::kFailed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return OpenResult::kNotRegular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (static_cast<uint64_t>(st.st_size) > keepBytes &&
         ::ftruncate(fd, static_cast<off_t>(keepBytes)) != 0)) {
        ::close(fd);
        return OpenResult::kFailed;
    }
    std::unique_lock<std::shared_mutex> lock(m_lock);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return OpenResult::kOpened;
}

bool PositionalFile::Write(uint64_t offset, const void* data, size_t n) {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    if (m_fd < 0)
        return false;
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::pwrite(m_fd, p, n, static_cast<off_t>(offset));
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

int PositionalFile::Close() {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    if (m_fd < 0)
        return -1;
    int r = ::close(m_fd);
    m_fd = -1;
    return r;
}

bool PositionalFile::IsOpen() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_fd >= 0;
}

int PositionalFile::Handle() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_fd;
}

int64_t ReadRegularFile(const std::string& path, void* out, uint64_t max) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    int64_t done = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        done = 0;
        char* p = static_cast<char*>(out);
        while (static_cast<uint64_t>(done) < max) {
            ssize_t r = ::pread(fd, p + done, max - static_cast<uint64_t>(done), done);
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

bool Md5HexOfFile(const std::string& path, std::string& hex) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) == 1;
    std::vector<unsigned char> buffer(1 << 20);
    while (ok) {
        size_t n = fread(buffer.data(), 1, buffer.size(), f);
        if (n > 0)
            ok = EVP_DigestUpdate(ctx.get(), buffer.data(), n) == 1;
        if (n < buffer.size()) {
            ok = ok && !ferror(f);
            break;
        }
    }
    fclose(f);
    unsigned char digest[16];
    unsigned int len = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &len) != 1 || len != 16)
        return false;
    char text[33];
    for (int i = 0; i < 16; ++i)
        snprintf(text + i * 2, 3, "%02X", digest[i]);
    hex.assign(text, 32);
    return true;
}
