#include "ui/dialog_templates.h"

#include <mutex>

#include "ui/info_view.h"
#include "ui/skin_message_box.h"

namespace {

constexpr int kViewWidth = 1180;
constexpr int kViewHeight = 460;

DialogTemplate InfoViewTemplate() {
    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.cx = kViewWidth;
    t.cy = kViewHeight;
    t.title = L"Info View";
    auto item = [](const wchar_t* cls, const wchar_t* text, int id, DWORD style, int x, int y,
                   int cx, int cy) {
        DialogItemTemplate i;
        i.className = cls;
        i.text = text;
        i.id = id;
        i.style = WS_CHILD | WS_VISIBLE | style;
        i.x = x;
        i.y = y;
        i.cx = cx;
        i.cy = cy;
        return i;
    };
    t.items.push_back(item(L"Button", L"Items", kIdInfoShowItems, BS_PUSHBUTTON, 10, 10, 100, 26));
    t.items.push_back(item(L"Button", L"Log", kIdInfoShowLog, BS_PUSHBUTTON, 120, 10, 100, 26));
    t.items.push_back(item(L"SysListView32", L"", kIdInfoItemList, LVS_REPORT | WS_BORDER, 10, 46,
                           kViewWidth - 20, kViewHeight - 56));
    t.items.push_back(item(L"ListBox", L"", kIdInfoLogList, WS_BORDER | WS_VSCROLL, 10, 46,
                           kViewWidth - 20, kViewHeight - 56));
    return t;
}

// Captionless: OnInitDialog sizes and places it anyway.
DialogTemplate MessageBoxTemplate() {
    DialogTemplate t;
    t.style = WS_POPUP;
    t.cx = SkinMessageBox::kWidth;
    t.cy = SkinMessageBox::kHeight;
    return t;
}

}  // namespace

void RegisterUiDialogTemplates() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterDialogTemplate(IDD_MESSAGEBOX, MessageBoxTemplate());
        RegisterDialogTemplate(IDD_INFOVIEW, InfoViewTemplate());
    });
}
