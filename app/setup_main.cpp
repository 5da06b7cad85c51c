// korvel-setup: the installer's entry. Prepares the process (debug settings,
// log, resources), runs the installer window modally on the main thread,
// ends the window's threads and returns 0 in every case.
#include <memory>

#include "app/korvel_setup_dlg.h"
#include "app/product_info.h"
#include "app/setup_entry.h"
#include "app/startup.h"
#include "download/downloader.h"
#include "platform/com.h"
#include "platform/gui.h"
#include "platform/log.h"
#include "resources/resources.h"
#include "ui/dialog_templates.h"
#include "ui/info_view.h"
#include "ui/wnd_shadow.h"

namespace {

std::unique_ptr<KorvelSetupDlg>& DialogOwner() {
    static std::unique_ptr<KorvelSetupDlg> owner;
    return owner;
}

CWndShadow& WindowShadow() {
    static CWndShadow shadow;
    return shadow;
}

INT_PTR CALLBACK SetupDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowShadow().Create(hwnd);  // acts on the first call only
    if (KorvelSetupDlg* dlg = DialogOwner().get()) {
        return dlg->DialogProc(hwnd, message, wParam, lParam);
    }
    return FALSE;
}

}  // namespace

void RegisterSetupDialogTemplate() {
    DialogTemplate t;
    t.style = WS_POPUP;
    t.cx = kSetupWidth;
    t.cy = kSetupHeight;
    t.title = GetProductTitleW() + L" Installer";
    RegisterDialogTemplate(kSetupDialogTemplate, t);
}

int RunSetup(HINSTANCE instance, const SetupTuning& tuning, const SetupHooks& hooks) {
    RegisterBuiltinTextResources();
    RegisterBuiltinBitmaps();
    RegisterUiDialogTemplates();
    RegisterSetupDialogTemplate();
    if (hooks.afterResources) {
        hooks.afterResources();
    }

    StartupOptions options;
    options.createInfoView = [] { return OpenInfoView() != nullptr; };
    options.echo = InfoViewLogEcho;
    RunStartupSequence(options);

    const bool com = ComInitialize();  // the window's thread: shell and link objects
    InitShadow(instance);
    DialogOwner() = std::make_unique<KorvelSetupDlg>(GetProductInfo(), tuning);
    if (hooks.onDialog) {
        hooks.onDialog(*DialogOwner());
    }
    DialogBoxParamW(instance, MAKEINTRESOURCEW(kSetupDialogTemplate), nullptr, SetupDialogProc, 0);
    if (com) {
        ComUninitialize();
    }
    WriteLog("Exit app.");

    // The dialog leaves the dialog procedure's reach, ends its threads (a
    // download still running is stopped, a step under way finishes) and goes.
    std::unique_ptr<KorvelSetupDlg> dialog = std::move(DialogOwner());
    dialog->StopThreads();
    if (hooks.onClosed) {
        hooks.onClosed(*dialog);
    }
    dialog.reset();
    WaitForReleasedDownloaders(2000);
    return 0;
}
