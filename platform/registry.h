// Registry key wrapper. On Windows it wraps the ANSI registry functions; on
// POSIX the registry is a transactional SQLite store (see docs/platform.md).
// Key paths always use '\\'; key and value names compare without case.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

#ifndef _WIN32
struct RegRoot;
typedef RegRoot* HKEY;
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr DWORD KEY_WOW64_64KEY = 0x0100;
constexpr DWORD KEY_WOW64_32KEY = 0x0200;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr LONG ERROR_KEY_DELETED = 1018;  // the key was deleted while this object held it
#endif

struct RegKeyInfo {
    char szClass[100] = {0};
    DWORD nClassLen = 0;
    DWORD nSubKeys = 0;
    DWORD nMaxSubKeyLen = 0;
    DWORD nMaxClassLen = 0;
    DWORD nValues = 0;
    DWORD nMaxValueNameLen = 0;
    DWORD nMaxValueLen = 0;
};

class CMyRegKey {
public:
    CMyRegKey() = default;
    CMyRegKey(const CMyRegKey&) = delete;
    CMyRegKey& operator=(const CMyRegKey&) = delete;
    virtual ~CMyRegKey();

    // Opens the key, creating it and missing parents; 32-bit view of a 32-bit program.
    LONG Create(HKEY root, const char* subKey);
    // Opens an existing key with the access mask (KEY_WOW64_64KEY for the 64-bit view).
    LONG Open(HKEY root, const char* subKey, DWORD access);
    LONG Close();
    bool IsOpen() const { return m_hKey != 0; }

    LONG SetString(const char* name, const char* value);  // REG_SZ, NUL stored
    LONG SetDword(const char* name, DWORD value);
    // 200-byte buffer: a value of more than 200 bytes (a text longer than 199
    // characters) fails with ERROR_MORE_DATA and leaves the out string alone.
    LONG QueryString(const char* name, std::string& out);
    LONG QueryDword(const char* name, int& out);        // type not checked
    LONG QueryDwordStrict(const char* name, int& out);  // -1 unless REG_DWORD of 4 bytes
    // Raw value (RegQueryValueEx rules: null buffer asks for the size, a small
    // buffer gives ERROR_MORE_DATA with the size needed); -1 for a success
    // whose type is not a string type.
    LONG QueryValue(const char* name, void* buffer, DWORD* size);
    LONG QueryInfo(RegKeyInfo& info);
    // Sub-key names in case-insensitive order; ERROR_NO_MORE_ITEMS past the last.
    LONG EnumKey(DWORD index, char name[256]);
    LONG DeleteValue(const char* name);
    // Deletes a sub-key of this key with everything below it (RegDeleteTree;
    // a null sub-key deletes this key's sub-keys and values, not the key).
    LONG DeleteSubKeyTree(const char* subKey);

    const std::string& GetSubKey() const { return m_strSubKey; }

private:
    int64_t m_hKey = 0;  // store key id (POSIX) or HKEY value (Win32); 0 = closed
    std::string m_strSubKey;
    DWORD m_nAccess = 0;  // access mask the key was opened with
};

#ifndef _WIN32
// The SQLite file behind the registry: $KORVEL_REGISTRY_DB, else
// $XDG_DATA_HOME/korvel/registry.db (see docs/platform.md for its schema).
std::string GetRegistryStorePath();
#endif
