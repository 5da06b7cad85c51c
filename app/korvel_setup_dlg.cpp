#include "app/korvel_setup_dlg.h"

void KorvelSetupDlg::CreateIcons(const ShortcutSet& set) {
    CreateProductIcons(set, MakeShortcutTexts(), CurrentHeader(), CurrentFacts());
}

void KorvelSetupDlg::DeleteIcons(const std::wstring& displayName) {
    DeleteProductIcons(displayName, CurrentHeader(), CurrentFacts());
}

bool KorvelSetupDlg::RunMainExe(const std::wstring& programFolder, const std::wstring& mainExe,
                                bool bNewFlag) {
    return RunProductMainExe(programFolder, mainExe, bNewFlag, MakeHandOffValues(), CurrentFacts());
}
