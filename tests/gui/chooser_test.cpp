// The folder chooser through a stand-in program, and the shell browser shape
// with its initial-selection callback.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/gui/gui_test_util.h"
#include "tests/support/test_support.h"

namespace {

using korvel_test::ScopedEnv;
using korvel_test::TempDir;

std::string Script(const TempDir& dir, const std::string& body) {
    std::string path = dir.Sub("chooser.sh");
    korvel_test::WriteFile(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

int Preselect(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED)
        SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

TEST(FolderChooser, ThePickedFolderComesBackAndACancelIsNoChoice) {
    TempDir dir;
    ScopedEnv chooser("KORVEL_FOLDER_CHOOSER", Script(dir, "echo \"/srv/apps dir\"").c_str());
    std::wstring chosen;
    EXPECT_TRUE(BrowseForFolder(nullptr, L"Choose", L"/opt", chosen));
    EXPECT_EQ(chosen, L"/srv/apps dir");
    ScopedEnv cancel("KORVEL_FOLDER_CHOOSER", Script(dir, "exit 1").c_str());
    EXPECT_FALSE(BrowseForFolder(nullptr, L"Choose", L"/opt", chosen));
    ScopedEnv none("KORVEL_FOLDER_CHOOSER", dir.Sub("missing").c_str());
    EXPECT_FALSE(BrowseForFolder(nullptr, L"Choose", L"/opt", chosen));
}

TEST(FolderChooser, BrowserShapeHandsTheInitialFolderToTheChooser) {
    TempDir dir;
    // The stand-in answers with the initial folder it was given (second argument).
    ScopedEnv chooser("KORVEL_FOLDER_CHOOSER", Script(dir, "echo \"$2/Korvel 12\"").c_str());
    HWND owner = gui_test::MakeWindow(0, 0, 50, 50);
    wchar_t name[kMaxPath] = {};
    const wchar_t* initial = L"/home/u/Программы";
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pszDisplayName = name;
    info.lpszTitle = L"选择安装目录";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = Preselect;
    info.lParam = reinterpret_cast<LPARAM>(initial);
    LPITEMIDLIST list = SHBrowseForFolderW(&info);
    ASSERT_NE(list, nullptr);
    wchar_t path[kMaxPath];
    ASSERT_TRUE(SHGetPathFromIDListW(list, path));
    EXPECT_STREQ(path, L"/home/u/Программы/Korvel 12");
    EXPECT_STREQ(name, L"Korvel 12");
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    CoTaskMemFree(list);
    EXPECT_FALSE(SHGetPathFromIDListW(list, path)) << "a freed list is refused";
    DestroyWindow(owner);
}

}  // namespace
