#include "platform/text.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            uint32_t lo = static_cast<uint32_t>(text[i + 1]);
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {
void AppendWide(std::wstring& out, uint32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}
}  // namespace

bool IsValidUtf8(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        const int extra = b < 0x80                 ? 0
                          : b >= 0xC2 && b <= 0xDF ? 1
                          : (b >> 4) == 0xE        ? 2
                          : b >= 0xF0 && b <= 0xF4 ? 3
                                                   : -1;
        if (extra < 0 || n - i <= static_cast<size_t>(extra))
            return false;
        uint32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        for (int k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        // Overlong three- and four-byte forms, surrogates, beyond Unicode.
        if ((extra == 2 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) ||
            (extra == 3 && (c < 0x10000 || c > 0x10FFFF)))
            return false;
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::wstring Utf8ToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        uint32_t c = extra <= 0 ? b : (b & (0x3F >> extra));
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            ok = i + k < n && (s[i + k] & 0xC0) == 0x80;
            if (ok)
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (!ok) {
            out += static_cast<wchar_t>(0xFFFD);  // stray or truncated byte
            ++i;
            continue;
        }
        AppendWide(out, c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string Base64Encode(const void* data, size_t length) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < length; i += 3) {
        uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < length) {
        uint32_t v = p[i] << 16;
        if (i + 1 < length)
            v |= p[i + 1] << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < length ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

namespace {
template <typename S>
S ReplaceAllImpl(const S& text, const S& search, const S& replacement) {
    if (search.empty())
        return text;
    S out = text;
    size_t pos = 0;
    while ((pos = out.find(search, pos)) != S::npos) {
        out.replace(pos, search.size(), replacement);
        pos += replacement.size();
    }
    return out;
}
}  // namespace

std::string ReplaceAll(const std::string& text, const std::string& search,
                       const std::string& replacement) {
    return ReplaceAllImpl(text, search, replacement);
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& search,
                        const std::wstring& replacement) {
    return ReplaceAllImpl(text, search, replacement);
}

char* FormatSize(uint32_t bytes, char* buffer, size_t bufferSize) {
    if (!buffer || bufferSize == 0)
        return buffer;
    memset(buffer, 0, bufferSize);
    if (bytes >= 0x100001u) {
        snprintf(buffer, bufferSize, "%.2fMB", bytes / 1048576.0);
    } else if (bytes < 1025u) {
        snprintf(buffer, bufferSize, "%dByte", static_cast<int>(bytes));
    } else {
        snprintf(buffer, bufferSize, "%.2fKB", bytes / 1024.0);
    }
    return buffer;
}

void Md5Digest(const void* data, size_t length, unsigned char out[16]) {
    unsigned int len = 16;
    EVP_Digest(data, length, out, &len, EVP_md5(), nullptr);
}

std::string Md5Hex(const void* data, size_t length, bool upperCase) {
    unsigned char digest[16];
    Md5Digest(data, length, digest);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        snprintf(hex + i * 2, 3, upperCase ? "%02X" : "%02x", digest[i]);
    return std::string(hex, 32);
}

std::string NewRandomId() {
    // Every call draws fresh bytes from the operating system, so no two
    // installations share an identifier (an unseeded generator would).
    unsigned char bytes[1024];
    if (!SystemRandomBytes(bytes, sizeof(bytes))) {
        std::random_device source;  // last resort; still not a fixed sequence
        for (size_t i = 0; i < sizeof(bytes); i += 4) {
            uint32_t v = source();
            memcpy(bytes + i, &v, 4);
        }
    }
    return Md5Hex(bytes, sizeof(bytes), false);
}

namespace {
template <typename C>
C LowerAscii(C c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<C>(c - 'A' + 'a') : c;
}
template <typename S>
bool EqualsNoCaseImpl(const S& a, const S& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}
}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return EqualsNoCaseImpl(a, b);
}
bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    return EqualsNoCaseImpl(a, b);
}
