// Windows, messages, dialogs and standard controls with the shapes and values
// of Windows USER, plus the few portable extras the installer needs (dialog
// templates, a folder chooser, frame capture and synthetic input for tests).
//
// Thread rules (the Linux implementation keeps them as Windows does):
// - A window belongs to the thread that created it; all windows of the process
//   are created by one thread (the UI thread). Its messages are dispatched only
//   on that thread, by the message loops below (GetMessageW, DialogBoxParamW,
//   PumpMessagesUntil).
// - SendMessageW from another thread queues the call to the owner, wakes it and
//   waits for the result; PostMessageW and InvalidateRect work from any thread.
// - Reading window facts (GetWindowRect, GetClientRect, IsWindowVisible, ...)
//   works from any thread; changing them (SetWindowPos, ShowWindow, ...) from
//   another thread is forwarded to the owner with SendMessageW semantics.
// - Drawing into a window DC works from any thread (see gdi.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi.h"

#ifdef _WIN32
#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>
#else

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

// ---- Messages ----
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;  // lParam: client top-left in screen coordinates
constexpr UINT WM_SIZE = 0x0005;  // wParam SIZE_*, lParam: client width, height
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_NEXTDLGCTL =
    0x0028;  // wParam: 0 next, 1 previous (lParam 0); see DialogBoxParamW
constexpr UINT WM_GETDLGCODE = 0x0087;  // the keys a control wants for itself (DLGC_*)
constexpr UINT WM_CHANGEUISTATE = 0x0127;
constexpr UINT WM_UPDATEUISTATE = 0x0128;  // wParam MAKEWPARAM(UIS_*, UISF_*)
constexpr UINT WM_QUERYUISTATE = 0x0129;   // returns the window's UISF_* bits
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORDLG = 0x0136;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_DWMCOMPOSITIONCHANGED = 0x031E;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// WM_SIZE kinds, mouse key states, hit-test codes
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;

// Virtual keys
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
// Letters and digits are their upper-case ASCII codes ('V').

// ---- Styles ----
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;  // input passes through the window
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_EX_LAYERED = 0x00080000;
constexpr DWORD WS_EX_NOACTIVATE = 0x08000000;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_CENTER = 0x0800;
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// ShowWindow
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// SetWindowPos
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// Get/SetWindowLong(Ptr). Procedures and pointers need the Ptr forms on
// 64-bit systems; GetWindowLongW(GWL_WNDPROC) there fails with 0.
constexpr int GWL_WNDPROC = -4;
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = static_cast<int>(sizeof(LRESULT));
constexpr int DWLP_USER = DWLP_DLGPROC + static_cast<int>(sizeof(DLGPROC));

// GetSystemMetrics
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

// Dialog results and message boxes
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr UINT DM_GETDEFID = WM_USER + 0;  // answer MAKELONG(id, DC_HASDEFID)
constexpr WORD DC_HASDEFID = 0x534B;
// WM_GETDLGCODE answers
constexpr LRESULT DLGC_WANTARROWS = 0x0001;
constexpr LRESULT DLGC_WANTTAB = 0x0002;
constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
constexpr LRESULT DLGC_WANTMESSAGE = 0x0004;
constexpr LRESULT DLGC_HASSETSEL = 0x0008;
constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr LRESULT DLGC_WANTCHARS = 0x0080;
constexpr LRESULT DLGC_BUTTON = 0x2000;
// UI state (focus cues): a dialog starts with UISF_HIDEFOCUS; the first
// keyboard navigation clears it (WM_UPDATEUISTATE to the dialog and its children).
constexpr WORD UIS_SET = 1;
constexpr WORD UIS_CLEAR = 2;
constexpr WORD UIS_INITIALIZE = 3;
constexpr WORD UISF_HIDEFOCUS = 0x1;
constexpr WORD UISF_HIDEACCEL = 0x2;
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TOPMOST = 0x00040000;

// Window icons (WM_SETICON)
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)

// PeekMessageW
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// ---- Standard controls: class names L"Edit", L"Button", L"Static",
// L"ListBox", L"SysListView32" (compared without case) ----
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_PASSWORD = 0x0020;  // ignored with ES_MULTILINE, as Windows does
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;  // the caret goes to the end position
constexpr UINT EM_GETRECT = 0x00B2;
constexpr UINT EM_SETRECT = 0x00B3;  // lParam: RECT* of the text area in client coordinates
constexpr UINT EM_SETRECTNP = 0x00B4;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = 0x00C5;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;
constexpr WORD EN_SETFOCUS = 0x0100;
constexpr WORD EN_KILLFOCUS = 0x0200;
constexpr WORD EN_CHANGE = 0x0300;  // WM_COMMAND (MAKEWPARAM(id, EN_CHANGE), edit HWND)
constexpr WORD EN_MAXTEXT = 0x0501;

constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr WORD BN_CLICKED = 0;
constexpr UINT BM_CLICK = 0x00F5;
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD SS_CENTER = 0x0001;
constexpr DWORD SS_RIGHT = 0x0002;

constexpr UINT LB_ADDSTRING = 0x0180;  // lParam: const wchar_t*; returns the index
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_GETTOPINDEX = 0x018E;
constexpr UINT LB_SETTOPINDEX = 0x0197;
constexpr LRESULT LB_ERR = -1;

constexpr DWORD LVS_REPORT = 0x0001;
constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_DELETEITEM = LVM_FIRST + 8;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_SETITEMW = LVM_FIRST + 76;
constexpr UINT LVM_INSERTITEMW = LVM_FIRST + 77;
constexpr UINT LVM_INSERTCOLUMNW = LVM_FIRST + 97;
constexpr UINT LVM_GETITEMTEXTW = LVM_FIRST + 115;
constexpr UINT LVCF_FMT = 0x0001;
constexpr UINT LVCF_WIDTH = 0x0002;
constexpr UINT LVCF_TEXT = 0x0004;
constexpr UINT LVCF_SUBITEM = 0x0008;
constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;
constexpr UINT LVIF_TEXT = 0x0001;
struct LVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    LPWSTR pszText;
    int cchTextMax;
    int iSubItem;
};
struct LVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};

// ---- Records ----
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;  // a brush, or (HBRUSH)(COLOR_x + 1)
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
};
struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

// ---- Window classes and windows ----
// Windows are borderless: the window rectangle equals the client rectangle in
// screen coordinates (a WS_CAPTION window gets the desktop's own frame around it,
// outside these rectangles).
WORD RegisterClassExW(const WNDCLASSEXW* wc);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// parent: the owner of a top-level window, or the parent of a WS_CHILD window;
// menu: the child id of a WS_CHILD window. Only the UI thread may create windows.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND hwnd);  // children first; WM_DESTROY then WM_NCDESTROY
BOOL IsWindow(HWND hwnd);       // false for destroyed handles (handles are never reused)
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);  // returns the old value
LONG GetWindowLongW(HWND hwnd, int index);
LONG SetWindowLongW(HWND hwnd, int index, LONG value);
HWND GetParent(HWND hwnd);  // parent of a child, owner of a top-level window
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

BOOL ShowWindow(HWND hwnd, int command);  // returns whether it was visible before
BOOL IsWindowVisible(HWND hwnd);          // false when an ancestor is hidden
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);  // returns whether it was disabled before
BOOL IsWindowEnabled(HWND hwnd);
BOOL GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates
BOOL GetClientRect(HWND hwnd, RECT* rect);  // (0, 0, width, height)
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL ScreenToClient(HWND hwnd, POINT* point);
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);  // UTF-8 on POSIX
int GetWindowTextW(HWND hwnd, LPWSTR buffer, int size);
int GetWindowTextLengthW(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
HWND GetForegroundWindow();  // the active window of this program
BOOL BringWindowToTop(HWND hwnd);
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);  // takes ownership of the region
int GetWindowRgn(HWND hwnd, HRGN out);  // copies into out; ERROR when the window has none
int GetSystemMetrics(int index);
// The DPI of the display (LOGPIXELSX/Y of every DC): SetGuiDpiOverride, else the
// KORVEL_DPI environment variable, else the desktop's (X resource Xft.dpi), else 96.
int GetDisplayDpi();
void SetGuiDpiOverride(int dpi);  // 0 removes the override

// ---- Painting ----
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);  // any thread
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL UpdateWindow(HWND hwnd);  // sends WM_PAINT now when something is invalid
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);

// ---- Messages ----
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);  // 0 at WM_QUIT
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL IsDialogMessageW(HWND dialog, MSG* msg);
// Posts WM_TIMER (wParam id, lParam proc) to hwnd every elapse ms, or calls proc.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
HWND SetCapture(HWND hwnd);  // returns the previous capture window
BOOL ReleaseCapture();
HWND GetCapture();
BOOL GetCursorPos(POINT* point);
short GetKeyState(int virtualKey);
DWORD GetLastError();
HMODULE GetModuleHandleW(LPCWSTR moduleName);  // null: the program's own instance (non-null)
void SetLastError(DWORD error);
void OutputDebugStringW(LPCWSTR text);

// ---- Dialogs ----
// A dialog's window procedure runs its DLGPROC and, when that returns FALSE,
// the default dialog processing: WM_CLOSE posts WM_COMMAND IDCANCEL, WM_ERASEBKGND
// fills with COLOR_BTNFACE, WM_NCLBUTTONDOWN with HTCAPTION drags the window.
// SendMessageW to a dialog returns DWLP_MSGRESULT for handled messages, except
// WM_INITDIALOG and WM_CTLCOLOR* whose DLGPROC result is returned directly.
// template: the id of a template registered with RegisterDialogTemplate; an id
// without a template gives an empty, hidden, borderless popup of 100 x 100.
// Returns the EndDialog result, or -1 when the window cannot be created.
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param);
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
// MessageBoxW: the text, the title and one OK button; returns IDOK.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR title, UINT type);

// ---- Layered windows and composition ----
// WS_EX_LAYERED windows show the premultiplied ARGB pixels of src (32-bit,
// any row order) at dst (screen) with size; only ULW_ALPHA with AC_SRC_ALPHA.
constexpr DWORD ULW_COLORKEY = 0x01;
constexpr DWORD ULW_ALPHA = 0x02;
constexpr DWORD ULW_OPAQUE = 0x04;
BOOL UpdateLayeredWindow(HWND hwnd, HDC dst, POINT* dstPoint, SIZE* size, HDC src, POINT* srcPoint,
                         COLORREF key, BLENDFUNCTION* blend, DWORD flags);
// X11: a compositing manager owns _NET_WM_CM_S<screen>; otherwise false.
HRESULT DwmIsCompositionEnabled(BOOL* enabled);

// ---- Shell folder browser ----
struct ITEMIDLIST_K;
typedef ITEMIDLIST_K* LPITEMIDLIST;
typedef const ITEMIDLIST_K* PCIDLIST_ABSOLUTE;
typedef int (*BFFCALLBACK)(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);
struct BROWSEINFOW {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPWSTR pszDisplayName;  // receives the chosen folder's name (kMaxPath characters)
    LPCWSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;  // BFFM_INITIALIZED; the callback may send BFFM_SETSELECTIONW
    LPARAM lParam;
    int iImage;
};
constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
constexpr UINT BIF_NEWDIALOGSTYLE = 0x0040;
constexpr UINT BFFM_INITIALIZED = 1;
constexpr UINT BFFM_SELCHANGED = 2;
constexpr UINT BFFM_SETSELECTIONW = WM_USER + 103;  // wParam TRUE, lParam: const wchar_t* path
// Runs the desktop's chooser (see BrowseForFolder); null when cancelled.
LPITEMIDLIST SHBrowseForFolderW(BROWSEINFOW* info);
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);  // kMaxPath characters
void CoTaskMemFree(void* memory);

#endif  // _WIN32

// ---- Portable extras (implemented by every platform) ----

// A dialog template, in pixels. Controls are created in order, as children.
struct DialogItemTemplate {
    std::wstring className;  // L"Edit", L"Button", L"Static", L"ListBox", L"SysListView32", ...
    std::wstring text;
    int id = 0;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};
struct DialogTemplate {
    DWORD style = WS_POPUP;  // WS_VISIBLE: a modeless dialog is shown at once
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 100, cy = 100;
    std::wstring title;
    std::vector<DialogItemTemplate> items;
};
// Adds or replaces the template of a dialog resource id (any thread, before use).
void RegisterDialogTemplate(int id, const DialogTemplate& dialogTemplate);

// The desktop's folder chooser: $KORVEL_FOLDER_CHOOSER (a program that prints
// the chosen folder), else `zenity --file-selection --directory`, else
// `kdialog --getexistingdirectory`; none present counts as cancelled. Messages
// keep being dispatched while it is open; the owner is disabled meanwhile.
bool BrowseForFolder(HWND owner, const wchar_t* title, const wchar_t* initial,
                     std::wstring& chosen);
// True when layered windows can be shown (the Win32 build: UpdateLayeredWindow exists).
bool LayeredWindowsAvailable();

// Dispatches the calling thread's messages until done() is true or timeoutMs
// has passed; returns done(). For tests and for waiting loops that must keep
// the windows alive. WM_QUIT is left in the queue and ends the wait.
bool PumpMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs);

// The window as last presented (its frame with its visible children on top),
// as 32-bit pixels with blue in the low byte; any thread.
bool CaptureWindowPixels(HWND hwnd, std::vector<uint32_t>& pixels, int& width, int& height);
bool CaptureWindowPng(HWND hwnd, const std::string& path);

// Synthetic input at client coordinates of hwnd (a top-level window or a
// child), routed as real input is (capture, children, dragging); any thread.
enum class SyntheticMouse { Move, LeftDown, LeftUp, Wheel };  // Wheel: one notch away from the user
void InjectMouse(HWND hwnd, SyntheticMouse kind, int x, int y);
void InjectKey(HWND hwnd, int virtualKey, bool control = false, bool shift = false);
void InjectText(HWND hwnd, const wchar_t* text);  // characters typed into the focus window
// True while input (synthetic or real) waits to be routed to a window.
bool InputPending();
// The clipboard text the edit box pastes (the desktop's clipboard).
bool SetClipboardTextW(const wchar_t* text);

// Calls into SDL or X11 made off the UI thread so far (zero is the contract).
uint64_t GuiOffThreadCallCount();
