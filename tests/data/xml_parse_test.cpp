// XML accessor: attribute paths, defaults, out-parameter rules, loading and saving.
#include "data/xml_parse.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/test_support.h"

namespace {

const char kConfig[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<download size=\"150001432\" name=\"Korvel12.exe\" bad=\"abc\" rate=\"1.5\">\n"
    "  <url size=\"77\" host=\"mirror.example\">  padded text  </url>\n"
    "  <list><item key=\"3\"/><item key=\"1\"/><other key=\"9\"/><item key=\"2\"/></list>\n"
    "</download>\n";

boost::shared_ptr<IXMLParse> Make() {
    boost::shared_ptr<IXMLParse> xml;
    EXPECT_EQ(0, CreateXMLParse(xml));
    EXPECT_TRUE(xml);
    return xml;
}

boost::shared_ptr<IXMLParse> Loaded(const char* text = kConfig) {
    auto xml = Make();
    EXPECT_EQ(1, xml->LoadFromMemory(text, static_cast<int>(strlen(text))));
    return xml;
}

TEST(XmlParseRead, LastComponentNamesAnAttribute) {
    auto xml = Loaded();
    int value = 0;
    EXPECT_EQ(1, xml->GetInt("download.size", value));
    EXPECT_EQ(150001432, value);
    EXPECT_EQ(1, xml->GetInt("download.url.size", value));
    EXPECT_EQ(77, value);
    std::string text;
    EXPECT_EQ(1, xml->GetString("download.url.host", text));
    EXPECT_EQ("mirror.example", text);
    // The element text is not an attribute: "download.url" names attribute url of download.
    EXPECT_EQ(0, xml->GetString("download.url", text));
    EXPECT_EQ("mirror.example", text);
    EXPECT_EQ("padded text", xml->GetTree()->get<std::string>("download.url"));
}

TEST(XmlParseRead, MissingOrInvalidIntLeavesTheDefault) {
    auto xml = Loaded();
    int value = 5;
    EXPECT_EQ(0, xml->GetInt("download.missing", value));
    EXPECT_EQ(-9999999, value);
    value = 5;
    EXPECT_EQ(0, xml->GetInt("download.bad", value));
    EXPECT_EQ(-9999999, value);
    value = 5;
    EXPECT_EQ(0, xml->GetInt("nothere.at.all", value));
    EXPECT_EQ(-9999999, value);
}

TEST(XmlParseRead, MissingStringLeavesTheOutParameter) {
    auto xml = Loaded("<a marker=\"{__see_it_is_read_string_failed_}\" empty=\"\"/>");
    std::string text = "kept";
    EXPECT_EQ(0, xml->GetString("a.missing", text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(0, xml->GetString("a.marker", text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(1, xml->GetString("a.empty", text));
    EXPECT_EQ("", text);
}

TEST(XmlParseRead, FloatAlwaysSucceedsWithItsDefault) {
    auto xml = Loaded();
    float value = 0;
    EXPECT_EQ(1, xml->GetFloat("download.rate", value));
    EXPECT_FLOAT_EQ(1.5f, value);
    EXPECT_EQ(1, xml->GetFloat("download.missing", value));
    uint32_t bits = 0;
    memcpy(&bits, &value, sizeof bits);
    EXPECT_EQ(0xC7C34FF3u, bits);
}

TEST(XmlParseRead, KeyWithoutDotFails) {
    auto xml = Loaded();
    int value = 5;
    std::string text = "kept";
    float number = 2.0f;
    EXPECT_EQ(0, xml->GetInt("download", value));
    EXPECT_EQ(5, value);
    EXPECT_EQ(0, xml->GetString("download", text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(0, xml->GetFloat("download", number));
    EXPECT_EQ(0, xml->PutIntAttr("download", 1));
    EXPECT_EQ(0, xml->RemoveAttr("download"));
}

TEST(XmlParseLoad, MalformedTextKeepsTheObjectUsable) {
    auto xml = Loaded();
    const char* broken[] = {"<download size=\"1\">", "<a><b></a>", "<a x=\"1\" x2=>", "<a/><"};
    for (const char* text : broken) {
        EXPECT_EQ(0, xml->LoadFromMemory(text, static_cast<int>(strlen(text)))) << text;
    }
    EXPECT_EQ(0, xml->LoadFromMemory(nullptr, 0));
    int value = 0;
    EXPECT_EQ(1, xml->GetInt("download.size", value));  // the previous document survives
    EXPECT_EQ(150001432, value);
    EXPECT_EQ(1, xml->LoadFromMemory("<n v=\"4\"/>", 10));
    EXPECT_EQ(1, xml->GetInt("n.v", value));
    EXPECT_EQ(4, value);
}

TEST(XmlParseLoad, TextEndsAtItsNulWhateverTheLength) {
    auto xml = Make();
    const char text[] = "<a v=\"1\"/>\0garbage<";
    EXPECT_EQ(1, xml->LoadFromMemory(text, sizeof text));
    EXPECT_EQ(1, xml->LoadFromMemory(text, 3));
}

TEST(XmlParseFile, MissingFileLeavesTheFlagClear) {
    korvel_test::TempDir dir;
    auto xml = Make();
    EXPECT_EQ(0, xml->LoadFromFile(dir.WSub("none.xml")));
    EXPECT_EQ(0, xml->IsLoadedFromFile());
    korvel_test::WriteFile(dir.Sub("bad.xml"), "<a>");
    EXPECT_EQ(0, xml->LoadFromFile(dir.WSub("bad.xml")));
    EXPECT_EQ(0, xml->IsLoadedFromFile());
    // With no stored path there is nothing to open.
    EXPECT_EQ(E_FAIL, xml->Save());
}

TEST(XmlParseFile, SaveAsAndLoadFromFileRoundTrip) {
    korvel_test::TempDir dir;
    auto xml = Loaded();
    ASSERT_EQ(1, xml->PutStringAttr("download.url.region", "eu"));
    const std::wstring path = dir.WSub("sub/dir/out.xml");  // missing folders are made
    ASSERT_EQ(1, xml->SaveAs(path));
    const std::string saved = korvel_test::ReadFile(dir.Sub("sub/dir/out.xml"));
    EXPECT_EQ(0u, saved.find("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<download"));
    EXPECT_NE(std::string::npos, saved.find("\n\t<url "));
    EXPECT_NE(std::string::npos, saved.find("\n\t\t<item key=\"3\"/>"));

    auto again = Make();
    ASSERT_EQ(1, again->LoadFromFile(path));
    EXPECT_EQ(1, again->IsLoadedFromFile());
    std::string region;
    EXPECT_EQ(1, again->GetString("download.url.region", region));
    EXPECT_EQ("eu", region);
    std::vector<int> items;
    EXPECT_EQ(1, again->GetItemIntList("download.list", items));
    EXPECT_EQ((std::vector<int>{3, 1, 2}), items);

    // Save goes back to the loaded path.
    ASSERT_EQ(1, again->SetInt("download.size", 12));
    ASSERT_EQ(1, again->Save());
    auto third = Make();
    ASSERT_EQ(1, third->LoadFromFile(path));
    int size = 0;
    EXPECT_EQ(1, third->GetInt("download.size", size));
    EXPECT_EQ(12, size);
}

TEST(XmlParseFile, SaveAsIntoAnUnwritablePlaceIsEFail) {
    korvel_test::TempDir dir;
    korvel_test::WriteFile(dir.Sub("file"), "x");
    auto xml = Loaded();
    EXPECT_EQ(E_FAIL, xml->SaveAs(dir.WSub("file/below/a.xml")));  // parent is a file
}

TEST(XmlParseItems, WriteReplacesAllItemsInOrder) {
    auto xml = Loaded();
    ASSERT_EQ(1, xml->SetItemStringList("download.list", {"x", "y"}));
    std::vector<std::string> strings = {"stale"};
    ASSERT_EQ(1, xml->GetItemStringList("download.list", strings));
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), strings);
    EXPECT_EQ("9", xml->GetTree()->get<std::string>("download.list.other.<xmlattr>.key"));

    std::vector<int> ints = {42};
    EXPECT_EQ(0, xml->GetItemIntList("download.list", ints));  // "x" is no integer
    EXPECT_EQ(std::vector<int>{42}, ints);
    EXPECT_EQ(0, xml->GetItemIntList("download.nolist", ints));
    EXPECT_EQ(0, xml->SetItemIntList("download.nolist", {1}));

    ASSERT_EQ(1, xml->SetItemFloatList("download.list", {0.5f, 2.25f}));
    std::vector<float> floats;
    ASSERT_EQ(1, xml->GetItemFloatList("download.list", floats));
    EXPECT_EQ((std::vector<float>{0.5f, 2.25f}), floats);
}

using Table = std::vector<std::vector<std::string>>;

TEST(XmlParseItems, TableReadsTheNamedAttributesOfEveryItem) {
    auto xml = Loaded(
        "<download><urls><item url=\"http://a/x\" ping=\"12\" extra=\"z\"/><skip url=\"s\"/>"
        "<item ping=\"7\" url=\"http://b/x\"/></urls><bad><item url=\"u\"/></bad></download>");
    Table table = {{"stale"}};
    ASSERT_EQ(1, xml->GetItemTable("download.urls", {"url", "ping"}, table));
    EXPECT_EQ((Table{{"http://a/x", "12"}, {"http://b/x", "7"}}), table);
    ASSERT_EQ(1, xml->GetItemTable("download.urls", {"ping"}, table));
    EXPECT_EQ((Table{{"12"}, {"7"}}), table);

    // An item without a named attribute, or no node: 0, the table unchanged.
    EXPECT_EQ(0, xml->GetItemTable("download.bad", {"url", "ping"}, table));
    EXPECT_EQ(0, xml->GetItemTable("download.none", {"url"}, table));
    EXPECT_EQ((Table{{"12"}, {"7"}}), table);
}

TEST(XmlParseItems, TableWriteReplacesTheItemsAndRefusesRaggedRows) {
    auto xml = Loaded();
    ASSERT_EQ(1, xml->SetItemTable("download.list", {"url", "size"},
                                   {{"http://m1/a.exe", "10"}, {"http://m2/a.exe", "20"}}));
    Table table;
    ASSERT_EQ(1, xml->GetItemTable("download.list", {"size", "url"}, table));
    EXPECT_EQ((Table{{"10", "http://m1/a.exe"}, {"20", "http://m2/a.exe"}}), table);
    EXPECT_EQ("9", xml->GetTree()->get<std::string>("download.list.other.<xmlattr>.key"));

    EXPECT_EQ(0, xml->SetItemTable("download.list", {"url", "size"}, {{"only-one"}}));
    EXPECT_EQ(0, xml->SetItemTable("download.none", {"url"}, {{"u"}}));
    ASSERT_EQ(1, xml->GetItemTable("download.list", {"url"}, table));
    EXPECT_EQ((Table{{"http://m1/a.exe"}, {"http://m2/a.exe"}}), table);

    // A column name with a dot stays one attribute.
    ASSERT_EQ(1, xml->SetItemTable("download.list", {"a.b"}, {{"1"}}));
    ASSERT_EQ(1, xml->GetItemTable("download.list", {"a.b"}, table));
    EXPECT_EQ(Table{{"1"}}, table);
}

TEST(XmlParseItems, CreateMakesTheNodeFirst) {
    auto xml = Loaded("<root/>");
    ASSERT_EQ(1, xml->CreateItemIntList("root.ports", {80, 443}));
    ASSERT_EQ(1, xml->CreateItemStringList("root.names", {"a"}));
    std::vector<int> ports;
    ASSERT_EQ(1, xml->GetItemIntList("root.ports", ports));
    EXPECT_EQ((std::vector<int>{80, 443}), ports);
    std::vector<std::string> names;
    ASSERT_EQ(1, xml->GetItemStringList("root.names", names));
    EXPECT_EQ(std::vector<std::string>{"a"}, names);
}

TEST(XmlParseWrite, ValueGoesToAttributeOnlyWhenTheElementExists) {
    auto xml = Loaded("<root><node/></root>");
    ASSERT_EQ(1, xml->SetIntValue("root.node", 7));  // element exists: attribute node of root
    EXPECT_EQ("7", xml->GetTree()->get<std::string>("root.<xmlattr>.node"));
    ASSERT_EQ(1, xml->SetStringValue("root.fresh", "text"));  // absent: element text
    EXPECT_EQ("text", xml->GetTree()->get<std::string>("root.fresh"));
    EXPECT_FALSE(xml->GetTree()->get_optional<std::string>("root.<xmlattr>.fresh"));
}

TEST(XmlParseWrite, RemoveAttrAndNode) {
    auto xml = Loaded();
    ASSERT_EQ(1, xml->RemoveAttr("download.url.size"));
    int value = 0;
    EXPECT_EQ(0, xml->GetInt("download.url.size", value));
    EXPECT_EQ(0, xml->RemoveAttr("download.url.size"));
    std::string host;
    EXPECT_EQ(1, xml->GetString("download.url.host", host));
    ASSERT_EQ(1, xml->RemoveNode("download.url"));
    EXPECT_EQ(0, xml->GetString("download.url.host", host));
    EXPECT_EQ(0, xml->RemoveNode("download.url"));
    EXPECT_EQ(0, xml->RemoveNode("nothing.here"));
}

TEST(XmlParseClone, CopyIsIndependent) {
    auto xml = Loaded();
    auto copy = xml->Clone();
    ASSERT_TRUE(copy);
    ASSERT_EQ(1, copy->PutIntAttr("download.size", 1));
    int value = 0;
    EXPECT_EQ(1, xml->GetInt("download.size", value));
    EXPECT_EQ(150001432, value);
    EXPECT_EQ(1, copy->GetInt("download.size", value));
    EXPECT_EQ(1, value);
}

}  // namespace

namespace {

// Every cut of a valid document either parses or fails cleanly, and the
// accessor keeps answering afterwards.
TEST(XmlParseLoad, EveryTruncationIsHandled) {
    const std::string full = kConfig;
    auto xml = Make();
    int complete = 0;
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        const std::string part = full.substr(0, cut);
        complete += xml->LoadFromMemory(part.c_str(), static_cast<int>(cut));
        int value = 0;
        xml->GetInt("download.size", value);
    }
    EXPECT_GE(complete, 1);  // at least the whole text parses
    EXPECT_EQ(1, xml->LoadFromMemory(full.c_str(), static_cast<int>(full.size())));
}

}  // namespace
