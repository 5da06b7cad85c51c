// JSON object: compact printing, root kinds, copies, lookups and parse errors.
#include "data/json_object.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonObjectPrint, EmptyAndMembersInInsertionOrder) {
    CJsonObject json;
    EXPECT_TRUE(json.IsEmpty());
    EXPECT_EQ("", json.ToString());
    ASSERT_TRUE(json.Add("version", 1015));
    EXPECT_FALSE(json.IsEmpty());
    EXPECT_EQ("{\"version\":1015}", json.ToString());
    ASSERT_TRUE(json.Add("user_id", "abc"));
    EXPECT_EQ("{\"version\":1015,\"user_id\":\"abc\"}", json.ToString());
    ASSERT_TRUE(json.Add("neg", -2147483647 - 1));
    EXPECT_EQ("{\"version\":1015,\"user_id\":\"abc\",\"neg\":-2147483648}", json.ToString());
}

TEST(JsonObjectPrint, EscapesOnlyQuoteBackslashAndControls) {
    CJsonObject json;
    ASSERT_TRUE(json.Add("s", std::string("\t\"")));
    EXPECT_EQ("{\"s\":\"\\t\\\"\"}", json.ToString());

    CJsonObject controls;
    ASSERT_TRUE(controls.Add("c", std::string("\x01\b\f\n\r\\\x1f")));
    EXPECT_EQ("{\"c\":\"\\u0001\\b\\f\\n\\r\\\\\\u001f\"}", controls.ToString());

    // Bytes from 32 upwards pass unchanged: '/', DEL and UTF-8 sequences.
    CJsonObject bytes;
    const std::string raw = "a/b\x7f\xc3\xa9\xe4\xb8\xad";
    ASSERT_TRUE(bytes.Add("k\"ey", raw));
    EXPECT_EQ("{\"k\\\"ey\":\"" + raw + "\"}", bytes.ToString());
}

// The tools' one-line records quote their strings with the printer's escaper;
// a NUL inside the text is escaped, not an end.
TEST(JsonObjectPrint, QuotedStringsUseTheSameEscapes) {
    EXPECT_EQ("\"\"", JsonQuoted(""));
    EXPECT_EQ("\"C:\\\\a \\\"b\\\"\\n\\u0001\\u0000x\"",
              JsonQuoted(std::string("C:\\a \"b\"\n\x01\0x", 12)));
    CJsonObject json;
    const std::string raw = "\t\b\f\r/\x7f\xc3\xa9";
    ASSERT_TRUE(json.Add("s", raw));
    EXPECT_EQ("{\"s\":" + JsonQuoted(raw) + "}", json.ToString());
}

TEST(JsonObjectPrint, ParsedValuesPrintCompactly) {
    CJsonObject json;
    ASSERT_TRUE(
        json.Parse(" \n {\"a\" : [1, 2.5, true, false, null, {}, []],\n \"big\": 5000000000, "
                   "\"huge\": 12345678901234567, \"e\":\"\\u0002x\"}"));
    EXPECT_EQ(
        "{\"a\":[1,2.5,true,false,null,{},[]],\"big\":5000000000,\"huge\":12345678901234568,"
        "\"e\":\"\\u0002x\"}",
        json.ToString());
}

TEST(JsonObjectRoot, KindIsFixedByTheFirstAdd) {
    CJsonObject object;
    ASSERT_TRUE(object.Add("a", 1));
    CJsonObject element;
    ASSERT_TRUE(element.Add("x", 2));
    EXPECT_FALSE(object.Add(element));
    EXPECT_EQ("not a json array! json object?", object.GetErrMsg());
    EXPECT_EQ("{\"a\":1}", object.ToString());

    CJsonObject array;
    ASSERT_TRUE(array.Add(element));
    ASSERT_TRUE(array.Add(element));
    EXPECT_EQ("[{\"x\":2},{\"x\":2}]", array.ToString());
    EXPECT_FALSE(array.Add("k", 1));
    EXPECT_EQ("not a json object! json array?", array.GetErrMsg());
    EXPECT_FALSE(array.Add("k", "v"));
    EXPECT_FALSE(array.Add("k", element));
    EXPECT_EQ("[{\"x\":2},{\"x\":2}]", array.ToString());
}

TEST(JsonObjectCopy, EmptySourceFailsAndLeavesTargetUnchanged) {
    CJsonObject empty;
    CJsonObject target;
    EXPECT_FALSE(target.Add("child", empty));
    EXPECT_EQ("prase json string error at ", target.GetErrMsg());
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_FALSE(target.Add(empty));
    EXPECT_TRUE(target.IsEmpty());

    ASSERT_TRUE(target.Add("a", 1));
    EXPECT_FALSE(target.Add("child", empty));
    EXPECT_EQ("{\"a\":1}", target.ToString());
}

TEST(JsonObjectCopy, AddedValueIsADeepCopy) {
    CJsonObject inner;
    ASSERT_TRUE(inner.Add("n", 1));
    CJsonObject outer;
    ASSERT_TRUE(outer.Add("inner", inner));
    ASSERT_TRUE(inner.Add("m", 2));
    EXPECT_EQ("{\"inner\":{\"n\":1}}", outer.ToString());

    CJsonObject copy(outer);
    CJsonObject assigned;
    assigned = outer;
    ASSERT_TRUE(outer.Add("later", 3));
    EXPECT_EQ("{\"inner\":{\"n\":1}}", copy.ToString());
    EXPECT_EQ("{\"inner\":{\"n\":1}}", assigned.ToString());
    assigned = assigned;
    EXPECT_EQ("{\"inner\":{\"n\":1}}", assigned.ToString());
}

TEST(JsonObjectGet, LookupIgnoresCaseAndTakesTheFirst) {
    CJsonObject reply("{\"result\":{\"res\":true},\"dup\":1,\"DUP\":2}");
    CJsonObject result;
    ASSERT_TRUE(reply.Get("RESULT", result));
    bool res = false;
    ASSERT_TRUE(result.Get("Res", res));
    EXPECT_TRUE(res);
    CJsonObject dup;
    ASSERT_TRUE(reply.Get("Dup", dup));
    EXPECT_EQ("1", dup.ToString());

    CJsonObject untouched("{\"z\":0}");
    EXPECT_FALSE(reply.Get("missing", untouched));
    EXPECT_EQ("{\"z\":0}", untouched.ToString());
    // Arrays have no members.
    CJsonObject array("[{\"result\":1}]");
    EXPECT_FALSE(array.Get("result", untouched));
}

TEST(JsonObjectGet, BoolAcceptsOnlyTheLiterals) {
    CJsonObject json("{\"one\":1,\"text\":\"true\",\"no\":false,\"nil\":null,\"obj\":{}}");
    bool value = true;
    EXPECT_FALSE(json.Get("one", value));
    EXPECT_FALSE(json.Get("text", value));
    EXPECT_FALSE(json.Get("nil", value));
    EXPECT_FALSE(json.Get("obj", value));
    EXPECT_FALSE(json.Get("absent", value));
    EXPECT_TRUE(value);
    ASSERT_TRUE(json.Get("NO", value));
    EXPECT_FALSE(value);
}

TEST(JsonObjectParse, ErrorTextCarriesTheRestOfTheInput) {
    CJsonObject json("{\"a\":1}");
    EXPECT_FALSE(json.Parse("{\"a\":1"));
    EXPECT_TRUE(json.IsEmpty());
    EXPECT_EQ(0u, json.GetErrMsg().find("prase json string error at "));

    // The tail starts where the parser gave up, not at the start of the text.
    const std::string input = "{\"a\":1,@bad}";
    const std::string prefix = "prase json string error at ";
    EXPECT_FALSE(json.Parse(input));
    const std::string& error = json.GetErrMsg();
    ASSERT_EQ(0u, error.find(prefix));
    const std::string tail = error.substr(prefix.size());
    EXPECT_TRUE(tail.size() <= 5 && !tail.empty()) << tail;
    EXPECT_EQ(input.substr(input.size() - tail.size()), tail);
    EXPECT_FALSE(json.Parse(""));
    EXPECT_EQ("prase json string error at ", json.GetErrMsg());

    CJsonObject constructed("not json");
    EXPECT_TRUE(constructed.IsEmpty());
    EXPECT_EQ("prase json string error at not json", constructed.GetErrMsg());

    // Success leaves the last error as it was.
    ASSERT_TRUE(json.Parse("[]"));
    EXPECT_EQ("prase json string error at ", json.GetErrMsg());
    EXPECT_EQ("[]", json.ToString());
}

}  // namespace

namespace {

TEST(JsonObjectParse, EveryTruncationFailsWithAnErrorText) {
    const std::string full = "{\"result\":{\"res\":true,\"list\":[1,\"a\\\"b\",null]}}";
    for (size_t cut = 0; cut < full.size(); ++cut) {
        CJsonObject json;
        EXPECT_FALSE(json.Parse(full.substr(0, cut))) << cut;
        EXPECT_EQ(0u, json.GetErrMsg().find("prase json string error at ")) << cut;
        EXPECT_EQ("", json.ToString());
    }
    CJsonObject json(full);
    EXPECT_EQ(full, json.ToString());
}

}  // namespace
