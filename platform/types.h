// Working rules for this code base: CONTRIBUTING.md at the root.
// Basic Windows-style types and result codes shared by every module.
// On Windows these come from <windows.h>; elsewhere this header defines the
// same names with the same values so that the logic reads identically.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
typedef int32_t HRESULT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t LANGID;
typedef uint32_t COLORREF;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;

#define RGB(r, g, b) \
    ((COLORREF)(((BYTE)(r) | ((uint16_t)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((uint16_t)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#endif

constexpr int kMaxPath = 260;    // fixed path buffers of the Windows API
constexpr int kMaxUrlLen = 1040;  // fixed URL buffers

// The platform's folder separator for file-system paths (registry paths always use '\\').
#ifdef _WIN32
constexpr wchar_t kPathSep = L'\\';
constexpr char kPathSepA = '\\';
#else
constexpr wchar_t kPathSep = L'/';
constexpr char kPathSepA = '/';
#endif
