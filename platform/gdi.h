// Drawing: device contexts, bitmaps, brushes, fonts and text with the shapes
// and values of Windows GDI. Pixels are 32-bit words with blue in the low byte
// (the layout of a 32-bit DIB); the high byte is undefined unless a function
// says otherwise. Thread rule: a memory DC and the bitmaps selected into it may
// be used by one thread at a time; drawing into a window DC (GetDC) is allowed
// from any thread: the pixels go to the window's frame under its lock and the
// window's own thread presents them.
#pragma once

#include <cstdint>

#include "platform/types.h"

#ifdef _WIN32
#include <windows.h>
#else

typedef unsigned int UINT;
typedef uint16_t WORD;
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;
typedef const char* LPCSTR;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* HGDIOBJ;
typedef void* LPVOID;

#define KORVEL_DECLARE_HANDLE(name) \
    struct name##__;                \
    typedef struct name##__* name
KORVEL_DECLARE_HANDLE(HWND);
KORVEL_DECLARE_HANDLE(HDC);
KORVEL_DECLARE_HANDLE(HBITMAP);
KORVEL_DECLARE_HANDLE(HBRUSH);
KORVEL_DECLARE_HANDLE(HFONT);
KORVEL_DECLARE_HANDLE(HPEN);
KORVEL_DECLARE_HANDLE(HRGN);
KORVEL_DECLARE_HANDLE(HICON);
KORVEL_DECLARE_HANDLE(HMENU);
KORVEL_DECLARE_HANDLE(HINSTANCE);
#undef KORVEL_DECLARE_HANDLE
typedef HICON HCURSOR;
typedef HINSTANCE HMODULE;

#define CALLBACK
#define WINAPI

#define MAKEWORD(a, b) ((WORD)(((BYTE)(a)) | ((WORD)((BYTE)(b))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
typedef uintptr_t DWORD_PTR_K;  // helper of LOWORD/HIWORD
#define LOWORD(l) ((WORD)(((DWORD_PTR_K)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR_K)(l)) >> 16) & 0xffff))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};
struct SIZE {
    LONG cx, cy;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

constexpr int LF_FACESIZE = 32;
struct LOGFONTW {
    LONG lfHeight;  // < 0: character (em) height in pixels; > 0: cell height; 0: default
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;  // FW_NORMAL 400, FW_BOLD 700
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;  // the pixels of a DIB section, else null
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // > 0 bottom-up, < 0 top-down
    WORD biPlanes;
    WORD biBitCount;      // only 32 is supported
    DWORD biCompression;  // BI_RGB
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct BLENDFUNCTION {
    BYTE BlendOp;  // AC_SRC_OVER
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;  // 0 or AC_SRC_ALPHA (premultiplied source alpha)
};

constexpr BYTE AC_SRC_OVER = 0;
constexpr BYTE AC_SRC_ALPHA = 1;
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;

// GetDeviceCaps indices
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

// SetBkMode
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Font weights and character sets
constexpr int FW_DONTCARE = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE GB2312_CHARSET = 134;

// GetStockObject
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int DEFAULT_GUI_FONT = 17;

// System colours (GetSysColor; a brush value COLOR_x + 1 names the colour too)
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_HIGHLIGHT = 13;

// Regions
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

// DrawTextW formats
constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_EXPANDTABS = 0x40;
constexpr UINT DT_NOCLIP = 0x100;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_NOPREFIX = 0x800;
constexpr UINT DT_EDITCONTROL = 0x2000;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// Image loading
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;
constexpr UINT LR_DEFAULTSIZE = 0x40;
constexpr UINT LR_SHARED = 0x8000;

// ---- Device contexts ----
// hwnd null: a screen DC (measures and GetDeviceCaps only; drawing into it does nothing).
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
// A memory DC with a 1 x 1 default bitmap selected; hdc is only consulted for its DPI.
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// Returns the previously selected object of that kind; null for a bad handle.
// Selecting a region selects a clipping region (returns the region kind).
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Fails (FALSE) while the object is selected into a DC or is a stock object.
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
int GetObjectW(HGDIOBJ object, int size, LPVOID out);  // BITMAP or LOGFONTW
int GetDeviceCaps(HDC hdc, int index);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int saved);

// ---- Bitmaps (32 bits per pixel) ----
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);  // pixels 0
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// 32-bit BI_RGB only; *bits receives the pixel memory in the header's row order.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         DWORD offset);
// Rows from the top, width x 4 bytes each; returns bytes copied.
LONG SetBitmapBits(HBITMAP bitmap, DWORD bytes, const void* bits);
LONG GetBitmapBits(HBITMAP bitmap, LONG bytes, LPVOID bits);
// Bitmap resource (a PNG registered under type L"PNG" or L"BITMAP"); null when missing.
HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name);
// IMAGE_BITMAP or IMAGE_ICON from the same PNG resources; cx, cy 0: the image's size.
void* LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
BOOL DestroyIcon(HICON icon);

// ---- Painting ----
HBRUSH CreateSolidBrush(COLORREF colour);
HBRUSH GetSysColorBrush(int index);
DWORD GetSysColor(int index);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, int cx1, int cy1,
                DWORD rop);
BOOL AlphaBlend(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, int cx1, int cy1,
                BLENDFUNCTION blend);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour);
COLORREF GetPixel(HDC hdc, int x, int y);  // CLR_INVALID outside
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// ---- Text ----
HFONT CreateFontIndirectW(const LOGFONTW* font);
HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR face);
COLORREF SetTextColor(HDC hdc, COLORREF colour);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF colour);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
// Returns the text height (with DT_VCENTER or DT_BOTTOM on one line: the offset
// from rect->top to the bottom of the text); DT_CALCRECT fills the rectangle
// instead of drawing. length -1: NUL-terminated. Clipped to the rectangle
// unless DT_NOCLIP. DT_VCENTER and DT_BOTTOM act only with DT_SINGLELINE.
int DrawTextW(HDC hdc, LPCWSTR text, int length, RECT* rect, UINT format);
BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int length);
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, SIZE* size);
int MulDiv(int number, int numerator, int denominator);

// ---- Rectangles and regions ----
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* rect);
BOOL IsRectEmpty(const RECT* rect);
BOOL PtInRect(const RECT* rect, POINT point);  // right and bottom edges outside, as Windows
BOOL OffsetRect(RECT* rect, int dx, int dy);
BOOL InflateRect(RECT* rect, int dx, int dy);
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b);
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b);
BOOL EqualRect(const RECT* a, const RECT* b);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
BOOL PtInRegion(HRGN region, int x, int y);
int GetRgnBox(HRGN region, RECT* box);
int SelectClipRgn(HDC hdc, HRGN region);  // null: no clipping region
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);

#endif  // _WIN32
