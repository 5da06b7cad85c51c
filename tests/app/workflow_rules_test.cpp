#include "app/workflow_rules.h"

#include <gtest/gtest.h>

TEST(PackageFileName, ReleaseTextPrefixOnlyFromNineCharacters) {
    EXPECT_EQ("Korvel12_x64(12.0.0.2).exe",
              MakePackageFileName("Korvel12_x64", "12.0.0.2 official (15/10/2020)"));
    EXPECT_EQ("Korvel12(12.0.0.2).exe", MakePackageFileName("Korvel12", "12.0.0.2x"));
    EXPECT_EQ("Korvel12.exe", MakePackageFileName("Korvel12", "12.0.0.2"));
    EXPECT_EQ("Korvel12.exe", MakePackageFileName("Korvel12", ""));
}

TEST(LaunchWords, MarkerSplitsOptionAndSource) {
    LaunchWords w = ParseLaunchWords("a_b_c_123_d_e_f");
    EXPECT_EQ("b_c", w.option);
    EXPECT_EQ("d_e", w.source);

    w = ParseLaunchWords("korvel12_online_2_site_x");
    EXPECT_EQ("online", w.option);
    EXPECT_EQ("site", w.source);

    // The first and last pieces never count as the marker.
    w = ParseLaunchWords("12_online_site_7");
    EXPECT_EQ("", w.option);
    EXPECT_EQ("", w.source);

    w = ParseLaunchWords("korvel12_x");
    EXPECT_EQ("", w.option);
    EXPECT_EQ("", w.source);

    // Empty pieces are dropped; "2a" and an overflowing number are not integers.
    w = ParseLaunchWords("k__opt___5__src_end");
    EXPECT_EQ("opt", w.option);
    EXPECT_EQ("src", w.source);
    w = ParseLaunchWords("k_2a_99999999999_x");
    EXPECT_EQ("", w.option);
}

TEST(ClientParam, BecomesFirstQueryParameter) {
    EXPECT_EQ("https://h/p?client_m=QUJD&s=1&v=12",
              AppendClientParam("https://h/p?s=1&v=12", "QUJD"));
    EXPECT_EQ("https://h/p?client_m=QUJD", AppendClientParam("https://h/p", "QUJD"));
}

TEST(CountdownText, EveryMarkerReplaced) {
    EXPECT_EQ(L"Start in 30 seconds (30)", FormatCountdown(L"Start in XXX seconds (XXX)", 30));
    EXPECT_EQ(L"0", FormatCountdown(L"XXX", 0));
}

TEST(ReleaseText, ChannelWordTranslated) {
    EXPECT_EQ("12.0.0.2 officiel (15/10/2020)",
              TranslateReleaseText("12.0.0.2 official (15/10/2020)", "officiel"));
}

TEST(FreeSpace, ExactlyTheMinimumIsRefused) {
    EXPECT_FALSE(EnoughFreeSpace(256));
    EXPECT_TRUE(EnoughFreeSpace(257));
    EXPECT_FALSE(EnoughFreeSpace(-1));
}

TEST(Progress, DownloadAndInstallEvents) {
    EXPECT_EQ(49, DownloadPercent(499, 1000));
    EXPECT_EQ(0, DownloadPercent(10, 0));
    EXPECT_EQ(0, InstallProgressAfterEvent(0, 77, 500));
    EXPECT_EQ(1000, InstallProgressAfterEvent(1, 0, 500));
    EXPECT_EQ(700, InstallProgressAfterEvent(3, 700, 500));
    EXPECT_EQ(500, InstallProgressAfterEvent(3, 1001, 500));
    EXPECT_EQ(420, InstallProgressAfterEvent(100, 42, 0));
    EXPECT_EQ(0, InstallProgressAfterEvent(100, -3, 200));
    EXPECT_EQ(200, InstallProgressAfterEvent(101, 261, 200));
}

TEST(BrowsedFolder, RegistryNameAppendedUnlessPresentWithItsCase) {
    EXPECT_EQ(L"/home/u/Apps/Korvel 12", BrowsedInstallFolder(L"/home/u/Apps", L"Korvel 12"));
    EXPECT_EQ(L"/home/u/Apps/Korvel 12", BrowsedInstallFolder(L"/home/u/Apps/", L"Korvel 12"));
    // Already part of the path (anywhere): kept as chosen.
    EXPECT_EQ(L"/opt/Korvel 12", BrowsedInstallFolder(L"/opt/Korvel 12", L"Korvel 12"));
    EXPECT_EQ(L"/opt/Korvel 12/bin", BrowsedInstallFolder(L"/opt/Korvel 12/bin", L"Korvel 12"));
    // Another case is another folder here.
    EXPECT_EQ(L"/opt/korvel 12/Korvel 12", BrowsedInstallFolder(L"/opt/korvel 12", L"Korvel 12"));
    EXPECT_EQ(L"/opt/KORVEL 12/Korvel 12", BrowsedInstallFolder(L"/opt/KORVEL 12", L"Korvel 12"));
}
