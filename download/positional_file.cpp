#include "download/positional_file.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

void PositionalFile::Adopt(NativeFile file) {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    CloseNativeFile(m_file);
    m_file = file;
}

bool PositionalFile::Create(const std::string& path) {
    const NativeFile file = CreateFileForWrite(path);
    if (file == kNoNativeFile)
        return false;
    Adopt(file);
    return true;
}

PositionalFile::OpenResult PositionalFile::Open(const std::string& path, uint64_t keepBytes) {
    NativeFile file = kNoNativeFile;
    switch (OpenRegularFile(path, keepBytes, file)) {
        case RegularOpenResult::kOpened:
            Adopt(file);
            return OpenResult::kOpened;
        case RegularOpenResult::kNotRegular:
            return OpenResult::kNotRegular;
        case RegularOpenResult::kFailed:
            break;
    }
    return OpenResult::kFailed;
}

bool PositionalFile::Write(uint64_t offset, const void* data, size_t n) {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_file != kNoNativeFile && WriteFileAt(m_file, offset, data, n);
}

int PositionalFile::Close() {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    const int r = CloseNativeFile(m_file);
    m_file = kNoNativeFile;
    return r;
}

bool PositionalFile::IsOpen() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return m_file != kNoNativeFile;
}

int PositionalFile::Handle() const {
    std::shared_lock<std::shared_mutex> lock(m_lock);
    return static_cast<int>(m_file);
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
