#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "platform/log.h"
#include "platform/posix/sysfs_adapters.h"
#include "report/machine_identity.h"
#include "report/system_language.h"
#include "tests/report/fake_adapters.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

TEST(MacAddressList, LeavesOutVirtualMachineAdaptersAndSorts) {
    FakeAdapters vmFirst;
    vmFirst.Add("vmnet8", {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08})
        .Add("eth0", {0x3c, 0x97, 0x0e, 0x12, 0x34, 0x56});
    EXPECT_EQ(GetMacAddressList(vmFirst), std::vector<std::string>{"3c-97-0e-12-34-56"});

    FakeAdapters unsorted;
    unsorted.Add("wlan0", {0xa4, 1, 2, 3, 4, 5}).Add("eth0", {0x3c, 1, 2, 3, 4, 5});
    EXPECT_EQ(GetMacAddressList(unsorted),
              (std::vector<std::string>{"3c-01-02-03-04-05", "a4-01-02-03-04-05"}));
}

TEST(MacAddressList, PrefixMatchesAnywhereAndIgnoresCase) {
    EXPECT_TRUE(IsVirtualMachineMac("12-00-50-56-ab-cd"));
    EXPECT_TRUE(IsVirtualMachineMac("00-0c-29-11-22-33"));
    EXPECT_TRUE(IsVirtualMachineMac("00-1c-14-11-22-33"));
    EXPECT_TRUE(IsVirtualMachineMac("08-00-27-aa-bb-cc"));
    EXPECT_FALSE(IsVirtualMachineMac("00-50-57-ab-cd-ef"));

    FakeAdapters adapters;
    adapters.Add("a", {0x12, 0x00, 0x50, 0x56, 0xab, 0xcd})
        .Add("b", {0x00, 0x0c, 0x29, 1, 2, 3})
        .Add("c", {0x00, 0x1c, 0x14, 1, 2, 3});
    EXPECT_TRUE(GetMacAddressList(adapters).empty());
}

TEST(MacAddressList, OnlyTheFirstThreeAdaptersCount) {
    FakeAdapters adapters;
    adapters.Add("a", {0x10, 0, 0, 0, 0, 1})
        .Add("b", {0x10, 0, 0, 0, 0, 2})
        .Add("c", {0x10, 0, 0, 0, 0, 3})
        .Add("d", {0x02, 0, 0, 0, 0, 4});
    adapters.physical = {"d"};
    EXPECT_EQ(GetMacAddressList(adapters).size(), 3u);
    EXPECT_EQ(GetMacAddressList(adapters)[0], "10-00-00-00-00-01");
    // The fourth adapter passes the physical test, so the client string carries it alone.
    EXPECT_EQ(GetClientMacString(adapters), "02-00-00-00-00-04");
    EXPECT_EQ(GetFirstMacs(adapters), "10-00-00-00-00-01:10-00-00-00-00-02:10-00-00-00-00-03");
}

TEST(MacAddressList, NoAdaptersOrNoTable) {
    FakeAdapters none;
    EXPECT_TRUE(GetMacAddressList(none).empty());
    EXPECT_EQ(GetClientMacString(none), "");
    FakeAdapters broken;
    broken.Add("eth0", {1, 2, 3, 4, 5, 6});
    broken.bFail = true;
    EXPECT_TRUE(GetMacAddressList(broken).empty());
    EXPECT_EQ(GetClientMacString(broken), "");
    EXPECT_EQ(GetFirstMacs(broken), "");
}

TEST(MacAddressList, SixBytesAreAlwaysPrinted) {
    FakeAdapters shortAddress;
    shortAddress.Add("tun0", {});
    shortAddress.Add("fw0", {0xAB, 0xCD, 0xEF, 1, 2, 3, 4, 5});
    EXPECT_EQ(GetFirstMacs(shortAddress), "00-00-00-00-00-00:ab-cd-ef-01-02-03");
}

TEST(ClientMacString, PhysicalThenOrdinaryThenFirstMacs) {
    FakeAdapters physical;
    physical.Add("wlan0", {0xc0, 1, 1, 1, 1, 1})
        .Add("br0", {0x52, 1, 1, 1, 1, 1})
        .Add("eth0", {0x3c, 1, 1, 1, 1, 1});
    physical.pci = {"eth0"};
    physical.physical = {"wlan0"};
    EXPECT_EQ(GetClientMacString(physical), "3c-01-01-01-01-01:c0-01-01-01-01-01");

    FakeAdapters ordinary;
    ordinary.Add("br0", {0x52, 1, 1, 1, 1, 1})
        .Add("vm", {0x00, 0x50, 0x56, 1, 1, 1})
        .Add("veth", {0x1e, 1, 1, 1, 1, 1});
    EXPECT_EQ(GetClientMacString(ordinary), "1e-01-01-01-01-01:52-01-01-01-01-01");

    // Every adapter virtual and none physical: the unfiltered first three, sorted.
    FakeAdapters virtualOnly;
    virtualOnly.Add("v1", {0x08, 0x00, 0x27, 2, 2, 2}).Add("v2", {0x00, 0x0c, 0x29, 1, 1, 1});
    EXPECT_EQ(GetClientMacString(virtualOnly), "00-0c-29-01-01-01:08-00-27-02-02-02");
}

TEST(MachineGuid, ThirtyTwoUpperCaseHexDigitsFreshEachCall) {
    const std::regex form("^[0-9A-F]{32}$");
    const std::string a = MakeMachineGuid();
    const std::string b = MakeMachineGuid();
    EXPECT_TRUE(std::regex_match(a, form)) << a;
    EXPECT_TRUE(std::regex_match(b, form)) << b;
    EXPECT_NE(a, b);
}

TEST(SplitString, PiecesAndEdges) {
    std::vector<std::string> out = {"kept"};
    EXPECT_EQ(SplitString("", ":", out), 0);
    EXPECT_EQ(SplitString("a:b", "", out), 0);
    EXPECT_EQ(SplitString("::a::b:", ":", out), 2);
    EXPECT_EQ(out, (std::vector<std::string>{"kept", "a", "b"}));
    std::vector<std::string> words;
    EXPECT_EQ(SplitString("KorvelSetup_opt_src.exe", "_", words), 3);
    EXPECT_EQ(words[2], "src.exe");
    std::vector<std::string> multi;
    EXPECT_EQ(SplitString("a--b-c", "--", multi), 2);
    EXPECT_EQ(multi[1], "b-c");
}

TEST(NormalizeMacList, SortsSeveralKeepsOne) {
    EXPECT_EQ(NormalizeMacList("c0-00:3c-00:a4-00"), "3c-00:a4-00:c0-00");
    EXPECT_EQ(NormalizeMacList("a4-00"), "a4-00");
    EXPECT_EQ(NormalizeMacList("::a4-00"), "::a4-00");  // one piece: returned as given
    EXPECT_EQ(NormalizeMacList(""), "");
}

namespace {

// A sysfs-like net class folder: ifindex, type, address and optional device link.
void MakeInterface(const fs::path& root, const std::string& name, int ifindex, int type,
                   const std::string& address, const std::string& bus) {
    const fs::path dir = root / "net" / name;
    fs::create_directories(dir);
    korvel_test::WriteFile((dir / "ifindex").string(), std::to_string(ifindex) + "\n");
    korvel_test::WriteFile((dir / "type").string(), std::to_string(type) + "\n");
    korvel_test::WriteFile((dir / "address").string(), address + "\n");
    if (bus.empty())
        return;
    const fs::path device = root / "devices" / name;
    fs::create_directories(device);
    fs::create_directories(root / "bus" / bus);
    fs::create_directory_symlink(root / "bus" / bus, device / "subsystem");
    fs::create_directory_symlink(device, dir / "device");
}

}  // namespace

TEST(SysfsAdapters, IndexOrderWithoutLoopbackAndBusTests) {
    korvel_test::TempDir tmp;
    const fs::path root = tmp.path();
    MakeInterface(root, "lo", 1, 772, "00:00:00:00:00:00", "");
    MakeInterface(root, "enp3s0", 10, 1, "3c:97:0e:12:34:56", "pci");
    MakeInterface(root, "br0", 9, 1, "52:54:00:aa:bb:cc", "");
    MakeInterface(root, "wlx0", 11, 1, "a4:01:02:03:04:05", "usb");
    MakeInterface(root, "tun0", 12, 65534, "", "");
    SysfsAdapterProvider sysfs((root / "net").string());

    std::vector<AdapterRecord> table;
    ASSERT_TRUE(sysfs.ReadAdapters(table));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0].strName, "br0");  // 9 before 10: numeric, not text order
    EXPECT_EQ(table[1].strName, "enp3s0");
    EXPECT_EQ(table[3].strName, "tun0");
    EXPECT_EQ(FormatMacText(table[1]), "3c-97-0e-12-34-56");
    EXPECT_EQ(table[1].nAddressLength, 6u);
    EXPECT_EQ(FormatMacText(table[3]), "00-00-00-00-00-00");

    EXPECT_TRUE(sysfs.IsPciAdapter("enp3s0"));
    EXPECT_FALSE(sysfs.IsPciAdapter("wlx0"));
    EXPECT_FALSE(sysfs.IsPciAdapter("br0"));
    EXPECT_TRUE(sysfs.IsPhysicalAdapter("wlx0"));
    EXPECT_FALSE(sysfs.IsPhysicalAdapter("br0"));
    EXPECT_FALSE(sysfs.IsPhysicalAdapter("../devices/enp3s0"));
    EXPECT_FALSE(sysfs.IsPhysicalAdapter(nullptr));
    EXPECT_EQ(GetClientMacString(sysfs), "3c-97-0e-12-34-56:a4-01-02-03-04-05");

    SysfsAdapterProvider missing((root / "absent").string());
    EXPECT_FALSE(missing.ReadAdapters(table));
}

TEST(SystemLanguage, EnglishNamesOfWindowsLanguages) {
    EXPECT_EQ(EnglishLanguageName(0x0407), "German");
    EXPECT_EQ(EnglishLanguageName(0x0804), "Chinese");
    EXPECT_EQ(EnglishLanguageName(0x0C0A), "Spanish");
    EXPECT_EQ(EnglishLanguageName(0x0409), "English");
    EXPECT_EQ(EnglishLanguageName(0x007F), "");
}

TEST(SystemLanguage, EveryLocaleLanguageByItsEnglishName) {
    EXPECT_EQ(LocaleLanguageName("et_EE.UTF-8"), "Estonian");
    EXPECT_EQ(LocaleLanguageName("vi_VN"), "Vietnamese");
    EXPECT_EQ(LocaleLanguageName("ca_ES@valencia"), "Catalan");
    EXPECT_EQ(LocaleLanguageName("th_TH.TIS-620"), "Thai");
    EXPECT_EQ(LocaleLanguageName("fil_PH"), "Filipino");
    EXPECT_EQ(LocaleLanguageName("yue_HK"), "Cantonese");
    EXPECT_EQ(LocaleLanguageName("de_AT.UTF-8"), "German");
    EXPECT_EQ(LocaleLanguageName("zh_TW.UTF-8"), "Chinese");
    EXPECT_EQ(LocaleLanguageName("fr"), "French");
    EXPECT_EQ(LocaleLanguageName("C.UTF-8"), "English");
    EXPECT_EQ(LocaleLanguageName("POSIX"), "English");
    EXPECT_EQ(LocaleLanguageName("xx_YY"), "");
    EXPECT_EQ(LocaleLanguageName(""), "");
}

// The user locale for formats decides, not the window's language list.
TEST(SystemLanguage, FollowsLcAllThenLcTimeThenLang) {
    korvel_test::ScopedEnv language("LANGUAGE", "fr_CA.UTF-8");
    korvel_test::ScopedEnv all("LC_ALL", "");
    korvel_test::ScopedEnv time("LC_TIME", "");
    korvel_test::ScopedEnv lang("LANG", "et_EE.UTF-8");
    EXPECT_EQ(SystemLanguageName(), "Estonian");
    {
        korvel_test::ScopedEnv timeSet("LC_TIME", "th_TH.UTF-8");
        EXPECT_EQ(SystemLanguageName(), "Thai");
        korvel_test::ScopedEnv allSet("LC_ALL", "vi_VN.UTF-8");
        EXPECT_EQ(SystemLanguageName(), "Vietnamese");
    }
    korvel_test::ScopedEnv langCatalan("LANG", "ca_ES.UTF-8");
    EXPECT_EQ(SystemLanguageName(), "Catalan");
    korvel_test::ScopedEnv noLang("LANG", "");
    EXPECT_EQ(SystemLanguageName(), "English");
}

TEST(MacAddressList, UnreadableTableIsLoggedByTheClientListsOnly) {
    FakeAdapters broken;
    broken.bFail = true;
    korvel_test::LogCapture log;
    GetMacAddressList(broken);
    EXPECT_TRUE(log.Lines().empty());
    GetClientMacString(broken);
    GetFirstMacs(broken);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"failed to call GetAdaptersInfo\n",
                                                     "failed to call GetAdaptersInfo\n"}));
}
