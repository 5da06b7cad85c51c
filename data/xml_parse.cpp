// XMLParse: the property-tree implementation of IXMLParse. Every operation
// catches what the property tree throws and reports it as 0.
#include "data/xml_parse.h"

#include <boost/property_tree/xml_parser.hpp>

#include <sstream>
#include <vector>

#include "platform/jfile.h"

namespace {

namespace pt = boost::property_tree;

constexpr int kIntDefault = -9999999;
constexpr float kFloatDefault = -99999.9f;
const char* const kStringDefault = "{__see_it_is_read_string_failed_}";
const char* const kItemName = "item";
const char* const kItemValuePath = "<xmlattr>.key";

// "a.b.c" -> "a.b.<xmlattr>.c"; false for a key without '.'.
bool ToAttrPath(const std::string& key, std::string& path) {
    const std::string::size_type dot = key.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    path = key.substr(0, dot) + ".<xmlattr>" + key.substr(dot);
    return true;
}

// The path of an item's attribute; the name is one path component.
pt::ptree::path_type AttrPath(const std::string& name) {
    return pt::ptree::path_type("<xmlattr>") / pt::ptree::path_type(name, '\0');
}

template <typename T>
int ReadItems(pt::ptree& tree, const std::string& key, std::vector<T>& out) {
    try {
        std::vector<T> values;
        for (const auto& child : tree.get_child(key)) {
            if (child.first == kItemName) {
                values.push_back(child.second.get<T>(kItemValuePath));
            }
        }
        out.swap(values);
        return 1;
    } catch (...) {
        return 0;
    }
}

template <typename T>
int WriteItems(pt::ptree& tree, const std::string& key, const std::vector<T>& values) {
    try {
        pt::ptree& node = tree.get_child(key);
        node.erase(kItemName);
        for (const T& value : values) {
            pt::ptree item;
            item.put(kItemValuePath, value);
            node.push_back(std::make_pair(kItemName, item));
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

template <typename T>
int PutAttr(pt::ptree& tree, const std::string& key, const T& value) {
    try {
        std::string path;
        if (!ToAttrPath(key, path)) {
            return 0;
        }
        tree.put(path, value);
        return 1;
    } catch (...) {
        return 0;
    }
}

// As an attribute when the element named by the whole key exists, else as
// element text at that path.
template <typename T>
int PutValue(pt::ptree& tree, const std::string& key, const T& value) {
    try {
        if (tree.get_child_optional(key)) {
            return PutAttr(tree, key, value);
        }
        tree.put(key, value);
        return 1;
    } catch (...) {
        return 0;
    }
}

class XMLParse : public IXMLParse {
public:
    XMLParse() = default;
    XMLParse(const XMLParse&) = default;

    boost::shared_ptr<IXMLParse> Clone() override {
        try {
            return boost::shared_ptr<IXMLParse>(new XMLParse(*this));
        } catch (...) {
            return boost::shared_ptr<IXMLParse>();
        }
    }

    int GetItemFloatList(const std::string& key, std::vector<float>& out) override {
        return ReadItems(m_tree, key, out);
    }
    int GetItemIntList(const std::string& key, std::vector<int>& out) override {
        return ReadItems(m_tree, key, out);
    }
    int GetItemStringList(const std::string& key, std::vector<std::string>& out) override {
        return ReadItems(m_tree, key, out);
    }

    int GetFloat(const std::string& key, float& out) override {
        try {
            std::string path;
            if (!ToAttrPath(key, path)) {
                return 0;
            }
            out = m_tree.get<float>(path, kFloatDefault);
            return 1;
        } catch (...) {
            return 0;
        }
    }

    int GetInt(const std::string& key, int& out) override {
        try {
            std::string path;
            if (!ToAttrPath(key, path)) {
                return 0;
            }
            out = m_tree.get<int>(path, kIntDefault);
            return out == kIntDefault ? 0 : 1;
        } catch (...) {
            return 0;
        }
    }

    int GetString(const std::string& key, std::string& out) override {
        try {
            std::string path;
            if (!ToAttrPath(key, path)) {
                return 0;
            }
            std::string value = m_tree.get<std::string>(path, kStringDefault);
            if (value == kStringDefault) {
                return 0;
            }
            out.swap(value);
            return 1;
        } catch (...) {
            return 0;
        }
    }

    int SetItemIntList(const std::string& key, const std::vector<int>& v) override {
        return WriteItems(m_tree, key, v);
    }
    int SetItemFloatList(const std::string& key, const std::vector<float>& v) override {
        return WriteItems(m_tree, key, v);
    }
    int SetItemStringList(const std::string& key, const std::vector<std::string>& v) override {
        return WriteItems(m_tree, key, v);
    }

    int PutIntAttr(const std::string& key, int value) override {
        return PutAttr(m_tree, key, value);
    }
    int PutFloatAttr(const std::string& key, float value) override {
        return PutAttr(m_tree, key, value);
    }
    int PutStringAttr(const std::string& key, const std::string& value) override {
        return PutAttr(m_tree, key, value);
    }

    // The node is made as element text so that the item writer finds it; an
    // attribute of that name could never hold item children.
    int CreateItemIntList(const std::string& key, const std::vector<int>& v) override {
        if (!SetStringValue(key, std::string())) {
            return 0;
        }
        return SetItemIntList(key, v);
    }
    int CreateItemFloatList(const std::string&, const std::vector<float>&) override { return 1; }
    int CreateItemStringList(const std::string& key, const std::vector<std::string>& v) override {
        if (!SetStringValue(key, std::string())) {
            return 0;
        }
        return SetItemStringList(key, v);
    }

    int SetInt(const std::string& key, int value) override { return PutAttr(m_tree, key, value); }
    int SetFloat(const std::string& key, float value) override {
        return PutAttr(m_tree, key, value);
    }
    int SetString(const std::string& key, const std::string& value) override {
        return PutAttr(m_tree, key, value);
    }

    int SetIntValue(const std::string& key, int value) override {
        return PutValue(m_tree, key, value);
    }
    int SetFloatValue(const std::string& key, float value) override {
        return PutValue(m_tree, key, value);
    }
    int SetStringValue(const std::string& key, const std::string& value) override {
        return PutValue(m_tree, key, value);
    }

    int RemoveAttr(const std::string& key) override {
        std::string path;
        if (!ToAttrPath(key, path)) {
            return 0;
        }
        return RemoveNode(path);
    }

    int RemoveNode(const std::string& key) override {
        try {
            const std::string::size_type dot = key.rfind('.');
            pt::ptree* parent = &m_tree;
            std::string name = key;
            if (dot != std::string::npos) {
                auto found = m_tree.get_child_optional(key.substr(0, dot));
                if (!found) {
                    return 0;
                }
                parent = &found.get();
                name = key.substr(dot + 1);
            }
            return parent->erase(name) > 0 ? 1 : 0;
        } catch (...) {
            return 0;
        }
    }

    // The length is not used: the text runs to its NUL.
    int LoadFromMemory(const char* text, int /*length*/) override {
        if (text == nullptr) {
            return 0;
        }
        try {
            std::istringstream stream{std::string(text)};
            pt::ptree tree;
            pt::read_xml(stream, tree, pt::xml_parser::trim_whitespace);
            m_tree.swap(tree);
            return 1;
        } catch (...) {
            return 0;
        }
    }

    int LoadFromFile(const std::wstring& path) override {
        std::vector<char> buffer;
        if (!ReadWholeFile(path, buffer)) {
            return 0;
        }
        if (!LoadFromMemory(buffer.data(), static_cast<int>(buffer.size() - 1))) {
            return 0;
        }
        m_strPath = path;
        m_bLoadedFromFile = 1;
        return 1;
    }

    int IsLoadedFromFile() override { return m_bLoadedFromFile; }
    int Save() override { return SaveAs(m_strPath); }

    int SaveAs(const std::wstring& path) override {
        std::string text;
        try {
            std::ostringstream stream;
            pt::write_xml(stream, m_tree,
                          pt::xml_writer_make_settings<std::string>('\t', 1, "utf-8"));
            text = stream.str();
        } catch (...) {
            return 0;
        }
        JFile file;
        if (!file.Open(path, JFile::kWrite | JFile::kBinary)) {
            return E_FAIL;
        }
        const int64_t written = file.Write(text.data(), static_cast<int64_t>(text.size()));
        file.Close();
        return written == static_cast<int64_t>(text.size()) ? 1 : 0;
    }

    boost::property_tree::ptree* GetTree() override { return &m_tree; }

    int GetItemTable(const std::string& key, const std::vector<std::string>& columns,
                     std::vector<std::vector<std::string>>& out) override {
        try {
            std::vector<std::vector<std::string>> rows;
            for (const auto& child : m_tree.get_child(key)) {
                if (child.first != kItemName) {
                    continue;
                }
                std::vector<std::string> row;
                for (const std::string& column : columns) {
                    row.push_back(child.second.get<std::string>(AttrPath(column)));
                }
                rows.push_back(std::move(row));
            }
            out.swap(rows);
            return 1;
        } catch (...) {
            return 0;
        }
    }

    int SetItemTable(const std::string& key, const std::vector<std::string>& columns,
                     const std::vector<std::vector<std::string>>& table) override {
        try {
            for (const auto& row : table) {
                if (row.size() != columns.size()) {
                    return 0;
                }
            }
            pt::ptree& node = m_tree.get_child(key);
            node.erase(kItemName);
            for (const auto& row : table) {
                pt::ptree item;
                for (size_t i = 0; i < columns.size(); ++i) {
                    item.put(AttrPath(columns[i]), row[i]);
                }
                node.push_back(std::make_pair(kItemName, item));
            }
            return 1;
        } catch (...) {
            return 0;
        }
    }

private:
    // The whole file plus one zero byte, so the text ends in a NUL.
    static bool ReadWholeFile(const std::wstring& path, std::vector<char>& buffer) {
        try {
            JFile file;
            if (!file.Open(path, JFile::kRead | JFile::kBinary)) {
                return false;
            }
            const int64_t length = file.GetLength();
            if (length < 0 || length > 0x7FFFFFFE) {
                return false;
            }
            buffer.assign(static_cast<size_t>(length) + 1, '\0');
            const int64_t got = length > 0 ? file.Read(buffer.data(), length) : 0;
            file.Close();
            return got >= 0;
        } catch (...) {
            return false;
        }
    }

    pt::ptree m_tree;
    std::wstring m_strPath;
    int m_bLoadedFromFile = 0;
};

}  // namespace

HRESULT CreateXMLParse(boost::shared_ptr<IXMLParse>& out) {
    try {
        out.reset(new XMLParse());
    } catch (...) {
        out.reset();
    }
    return out ? 0 : E_FAIL;
}
