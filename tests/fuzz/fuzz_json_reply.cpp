// libFuzzer target: CJsonObject::Parse, the compact printer and the report
// service's reply rule. A parsed document must print to text that parses
// back to the same text; the reply rule must agree with a direct reading of
// cJSON's tree (first member of each name, ignoring ASCII case).
#include <cjson/cJSON.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/json_object.h"
#include "report/install_reporter.h"

namespace {

void Fail(const char* what, const std::string& text) {
    fprintf(stderr, "fuzz_json_reply: %s\n  text: %s\n", what, text.c_str());
    abort();
}

bool TreeAccepts(const std::string& text) {
    cJSON* root = cJSON_ParseWithOpts(text.c_str(), nullptr, 0);
    const cJSON* result = cJSON_IsObject(root) ? cJSON_GetObjectItem(root, "result") : nullptr;
    const cJSON* res = cJSON_IsObject(result) ? cJSON_GetObjectItem(result, "res") : nullptr;
    const bool accepted = cJSON_IsTrue(res) != 0;
    cJSON_Delete(root);
    return accepted;
}

void CheckRoundTrip(const std::string& text) {
    CJsonObject doc;
    if (!doc.Parse(text)) {
        if (!doc.IsEmpty() || doc.GetErrMsg().rfind("prase json string error at ", 0) != 0)
            Fail("failed parse left a tree or the wrong error text", text);
        return;
    }
    const std::string printed = doc.ToString();
    CJsonObject again;
    if (!again.Parse(printed))
        Fail("printed text does not parse", printed);
    if (again.ToString() != printed)
        Fail("printing is not stable", printed);
    // A copy as a member must print as the same text inside the wrapper.
    CJsonObject wrapper;
    if (!wrapper.Add("k", doc) || wrapper.ToString() != "{\"k\":" + printed + "}")
        Fail("member copy differs", printed);
    CJsonObject member;
    if (doc.Get("result", member) && member.IsEmpty())
        Fail("Get succeeded with an empty copy", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The installer's texts are C strings: the reader stops at the first NUL.
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();
    CheckRoundTrip(text);
    if (IsAcceptedReply(text) != TreeAccepts(text))
        Fail("reply rule disagrees with the tree", text);
    return 0;
}
