// Text conversion and small text utilities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Wide to narrow in the OEM code page (UTF-8 on POSIX); used for logging,
// registry paths and the archive engine.
std::string WideToOem(const std::wstring& text);
// Narrow (ANSI code page; UTF-8 on POSIX) to wide.
std::wstring AnsiToWide(const std::string& text);
// Unicode conversions that hold on every platform (UTF-8 <-> wide).
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// RFC 4648 Base64 with padding, no line breaks.
std::string Base64Encode(const void* data, size_t length);
// Replaces every occurrence, continuing after each inserted replacement.
std::string ReplaceAll(const std::string& text, const std::string& search,
                       const std::string& replacement);
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& search,
                        const std::wstring& replacement);
// "%dByte" below 1025, "%.2fKB" up to 1048576, "%.2fMB" from 1048577.
char* FormatSize(uint32_t bytes, char* buffer, size_t bufferSize);

// MD5 of a byte range: 16 raw bytes, or 32 hex digits in the chosen case.
void Md5Digest(const void* data, size_t length, unsigned char out[16]);
std::string Md5Hex(const void* data, size_t length, bool upperCase = false);

// Bytes from the operating system's random source (getrandom, else
// /dev/urandom); false when it cannot deliver them all.
bool SystemRandomBytes(void* buffer, size_t size);
// 32 lower-case hex digits: the MD5 of 1024 bytes from the system's random source.
std::string NewRandomId();

// ASCII case-insensitive comparison (names of files, processes, keys).
bool EqualsNoCase(const std::string& a, const std::string& b);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

// For as long as it lives, the calling thread's character type is UTF-8,
// whatever locale the process was started in (other threads keep theirs).
// Libraries that convert names through the locale (the archive library
// between the UTF-16 of a 7z archive and the file system) then keep every
// name instead of failing on all beyond ASCII. Active() is false when the
// system has no UTF-8 locale; names then convert as before.
class ScopedUtf8Names {
public:
    ScopedUtf8Names();
    ~ScopedUtf8Names();
    ScopedUtf8Names(const ScopedUtf8Names&) = delete;
    ScopedUtf8Names& operator=(const ScopedUtf8Names&) = delete;
    bool Active() const { return m_locale != nullptr; }

private:
    void* m_locale = nullptr;
    void* m_previous = nullptr;
};

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF).
bool IsValidUtf8(const std::string& text);
