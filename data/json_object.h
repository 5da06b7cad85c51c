// Small value class over one cJSON document (object or array root).
#pragma once

#include <string>

struct cJSON;

// `text` as one JSON string literal, quotes included: '"', '\\' and the
// control characters escaped, every other byte as it stands (UTF-8 passes).
std::string JsonQuoted(const std::string& text);

class CJsonObject {
public:
    CJsonObject() = default;
    explicit CJsonObject(const std::string& text);
    CJsonObject(const CJsonObject& other);
    CJsonObject& operator=(const CJsonObject& other);
    virtual ~CJsonObject();

    bool Parse(const std::string& text);
    void Clear();
    bool IsEmpty() const { return m_root == nullptr; }

    bool Add(const std::string& key, int value);
    bool Add(const std::string& key, const std::string& value);
    bool Add(const std::string& key, const char* value) { return Add(key, std::string(value)); }
    bool Add(const std::string& key, const CJsonObject& value);
    bool Add(const CJsonObject& element);  // array append

    std::string ToString() const;  // compact; "" when empty
    bool Get(const std::string& key, CJsonObject& out) const;
    bool Get(const std::string& key, bool& out) const;

    const std::string& GetErrMsg() const { return m_strErrMsg; }

private:
    cJSON* m_root = nullptr;
    std::string m_strErrMsg;
};
