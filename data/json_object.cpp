// CJsonObject over a cJSON tree. The compact printer is our own: the wire
// format of the vendor service prints every integral number in plain decimal,
// where cJSON would switch to "%g" beyond the 32-bit range.
#include "data/json_object.h"

#include <cjson/cJSON.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kErrNull = "json data is null!";
const char* const kErrNotObject = "not a json object! json array?";
const char* const kErrNotArray = "not a json array! json object?";
const char* const kErrParse = "prase json string error at ";

void AppendEscaped(const char* text, size_t size, std::string& out) {
    out += '"';
    for (const char *p = text, *end = text + size; p != end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 32) {
                    char buffer[8];
                    snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// cJSON's names and values: NUL-terminated, null taken as "".
void AppendEscaped(const char* text, std::string& out) {
    AppendEscaped(text ? text : "", text ? std::strlen(text) : 0, out);
}

}  // namespace

std::string JsonQuoted(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    AppendEscaped(text.data(), text.size(), out);
    return out;
}

namespace {

void AppendNumber(double value, std::string& out) {
    char buffer[32];
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (value == std::floor(value) && std::fabs(value) < 9.2e18) {
        snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    } else {
        // Shortest of the two precisions that reads back as the same double.
        snprintf(buffer, sizeof buffer, "%1.15g", value);
        if (std::strtod(buffer, nullptr) != value) {
            snprintf(buffer, sizeof buffer, "%1.17g", value);
        }
    }
    out += buffer;
}

// Recursion depth is bounded by cJSON's parser nesting limit.
void AppendCompact(const cJSON* item, std::string& out) {
    if (cJSON_IsObject(item) || cJSON_IsArray(item)) {
        const bool object = cJSON_IsObject(item);
        out += object ? '{' : '[';
        for (const cJSON* child = item->child; child; child = child->next) {
            if (child != item->child) {
                out += ',';
            }
            if (object) {
                AppendEscaped(child->string, out);
                out += ':';
            }
            AppendCompact(child, out);
        }
        out += object ? '}' : ']';
    } else if (cJSON_IsString(item)) {
        AppendEscaped(item->valuestring, out);
    } else if (cJSON_IsNumber(item)) {
        AppendNumber(item->valuedouble, out);
    } else if (cJSON_IsTrue(item)) {
        out += "true";
    } else if (cJSON_IsFalse(item)) {
        out += "false";
    } else if (cJSON_IsRaw(item) && item->valuestring) {
        out += item->valuestring;
    } else {
        out += "null";
    }
}

bool EqualsNoCaseAscii(const char* a, const std::string& b) {
    if (a == nullptr) {
        return false;
    }
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(x) != lower(y)) {
            return false;
        }
    }
    return a[i] == '\0' && i == b.size();
}

// First member of an object root whose key matches ignoring ASCII case.
const cJSON* FindMember(const cJSON* root, const std::string& key) {
    if (!cJSON_IsObject(root)) {
        return nullptr;
    }
    for (const cJSON* child = root->child; child; child = child->next) {
        if (EqualsNoCaseAscii(child->string, key)) {
            return child;
        }
    }
    return nullptr;
}

// Parses text into a fresh tree; on failure fills the error with the rest of
// the input from where the parser stopped.
cJSON* ParseTree(const std::string& text, std::string& error) {
    const char* end = nullptr;
    cJSON* tree = cJSON_ParseWithOpts(text.c_str(), &end, 0);
    if (tree == nullptr) {
        const char* rest = text.c_str();
        if (end && end >= rest && end <= rest + text.size()) {
            rest = end;
        }
        error = std::string(kErrParse) + rest;
    }
    return tree;
}

// Keyed members need an object root; the value is built before the root is
// made so that a failed copy leaves this object exactly as it was.
bool AddMember(cJSON*& root, std::string& error, const std::string& key, cJSON* value) {
    if (value == nullptr) {
        return false;
    }
    if (root == nullptr) {
        root = cJSON_CreateObject();
        if (root == nullptr) {
            cJSON_Delete(value);
            error = kErrNull;
            return false;
        }
    }
    if (!cJSON_AddItemToObject(root, key.c_str(), value)) {
        cJSON_Delete(value);
        return false;
    }
    return FindMember(root, key) != nullptr;
}

bool CheckObjectRoot(const cJSON* root, std::string& error) {
    if (root != nullptr && !cJSON_IsObject(root)) {
        error = kErrNotObject;
        return false;
    }
    return true;
}

}  // namespace

CJsonObject::CJsonObject(const std::string& text) {
    Parse(text);
}

CJsonObject::CJsonObject(const CJsonObject& other) : m_strErrMsg(other.m_strErrMsg) {
    if (other.m_root) {
        m_root = cJSON_Duplicate(other.m_root, 1);
    }
}

CJsonObject& CJsonObject::operator=(const CJsonObject& other) {
    if (this != &other) {
        cJSON* copy = other.m_root ? cJSON_Duplicate(other.m_root, 1) : nullptr;
        Clear();
        m_root = copy;
        m_strErrMsg = other.m_strErrMsg;
    }
    return *this;
}

CJsonObject::~CJsonObject() {
    Clear();
}

bool CJsonObject::Parse(const std::string& text) {
    Clear();
    m_root = ParseTree(text, m_strErrMsg);
    return m_root != nullptr;
}

void CJsonObject::Clear() {
    if (m_root) {
        cJSON_Delete(m_root);
        m_root = nullptr;
    }
}

bool CJsonObject::Add(const std::string& key, int value) {
    if (!CheckObjectRoot(m_root, m_strErrMsg)) {
        return false;
    }
    return AddMember(m_root, m_strErrMsg, key, cJSON_CreateNumber(value));
}

bool CJsonObject::Add(const std::string& key, const std::string& value) {
    if (!CheckObjectRoot(m_root, m_strErrMsg)) {
        return false;
    }
    return AddMember(m_root, m_strErrMsg, key, cJSON_CreateString(value.c_str()));
}

bool CJsonObject::Add(const std::string& key, const CJsonObject& value) {
    if (!CheckObjectRoot(m_root, m_strErrMsg)) {
        return false;
    }
    return AddMember(m_root, m_strErrMsg, key, ParseTree(value.ToString(), m_strErrMsg));
}

bool CJsonObject::Add(const CJsonObject& element) {
    if (m_root != nullptr && !cJSON_IsArray(m_root)) {
        m_strErrMsg = kErrNotArray;
        return false;
    }
    cJSON* copy = ParseTree(element.ToString(), m_strErrMsg);
    if (copy == nullptr) {
        return false;
    }
    if (m_root == nullptr) {
        m_root = cJSON_CreateArray();
        if (m_root == nullptr) {
            cJSON_Delete(copy);
            m_strErrMsg = kErrNull;
            return false;
        }
    }
    const int before = cJSON_GetArraySize(m_root);
    if (!cJSON_AddItemToArray(m_root, copy)) {
        cJSON_Delete(copy);
        return false;
    }
    return cJSON_GetArraySize(m_root) > before;
}

std::string CJsonObject::ToString() const {
    std::string out;
    if (m_root) {
        AppendCompact(m_root, out);
    }
    return out;
}

bool CJsonObject::Get(const std::string& key, CJsonObject& out) const {
    const cJSON* member = FindMember(m_root, key);
    if (member == nullptr) {
        return false;
    }
    char* printed = cJSON_Print(member);
    if (printed == nullptr) {
        return false;
    }
    const std::string text(printed);
    cJSON_free(printed);
    return out.Parse(text);
}

bool CJsonObject::Get(const std::string& key, bool& out) const {
    const cJSON* member = FindMember(m_root, key);
    if (!cJSON_IsBool(member)) {
        return false;
    }
    out = cJSON_IsTrue(member) != 0;
    return true;
}
