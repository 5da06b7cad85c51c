// The installer window of Korvel 12: the product's shortcut set with its Mini
// shortcuts and the hand-off that runs the repair tool first.
#pragma once

#include "app/setup_dlg.h"

class KorvelSetupDlg : public SetupDlg {
public:
    using SetupDlg::SetupDlg;
    // The worker calls the overrides below: it ends while they still exist.
    ~KorvelSetupDlg() override { StopThreads(); }

    void CreateIcons(const ShortcutSet& set) override;
    void DeleteIcons(const std::wstring& displayName) override;
    bool RunMainExe(const std::wstring& programFolder, const std::wstring& mainExe,
                    bool bNewFlag) override;
};
