// Dotted-path access to an XML document held as a Boost property tree.
// "a.b.c" names the attribute c of element b inside root element a.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

#include "platform/types.h"

class IXMLParse {
public:
    virtual ~IXMLParse() = default;
    virtual boost::shared_ptr<IXMLParse> Clone() = 0;                                   // 1
    virtual int GetItemFloatList(const std::string& key, std::vector<float>& out) = 0;  // 2
    virtual int GetItemIntList(const std::string& key, std::vector<int>& out) = 0;      // 3
    virtual int GetItemStringList(const std::string& key, std::vector<std::string>& out) = 0;
    virtual int GetFloat(const std::string& key, float& out) = 0;         // 5
    virtual int GetInt(const std::string& key, int& out) = 0;             // 6
    virtual int GetString(const std::string& key, std::string& out) = 0;  // 7
    virtual int SetItemIntList(const std::string& key, const std::vector<int>& v) = 0;
    virtual int SetItemFloatList(const std::string& key, const std::vector<float>& v) = 0;
    virtual int SetItemStringList(const std::string& key, const std::vector<std::string>& v) = 0;
    virtual int PutIntAttr(const std::string& key, int value) = 0;                    // 11
    virtual int PutFloatAttr(const std::string& key, float value) = 0;                // 12
    virtual int PutStringAttr(const std::string& key, const std::string& value) = 0;  // 13
    virtual int CreateItemIntList(const std::string& key, const std::vector<int>& v) = 0;
    virtual int CreateItemFloatList(const std::string& key, const std::vector<float>& v) = 0;
    virtual int CreateItemStringList(const std::string& key,
                                     const std::vector<std::string>& v) = 0;  // 16
    virtual int SetInt(const std::string& key, int value) = 0;                // 17
    virtual int SetFloat(const std::string& key, float value) = 0;            // 18
    virtual int SetString(const std::string& key, const std::string& value) = 0;
    virtual int SetIntValue(const std::string& key, int value) = 0;      // 20
    virtual int SetFloatValue(const std::string& key, float value) = 0;  // 21
    virtual int SetStringValue(const std::string& key, const std::string& value) = 0;
    virtual int RemoveAttr(const std::string& key) = 0;            // 23
    virtual int RemoveNode(const std::string& key) = 0;            // 24
    virtual int LoadFromMemory(const char* text, int length) = 0;  // 25
    virtual int LoadFromFile(const std::wstring& path) = 0;        // 26
    virtual int IsLoadedFromFile() = 0;                            // 27
    virtual int Save() = 0;                                        // 28
    virtual int SaveAs(const std::wstring& path) = 0;              // 29
    virtual boost::property_tree::ptree* GetTree() = 0;            // 30
    // A table of the `item` elements under the node at key (a plain element
    // path): one row per item, holding its attributes named by `columns` in
    // that order. 1, or 0 when the node or an item's attribute is missing
    // (`out` then unchanged).
    virtual int GetItemTable(const std::string& key, const std::vector<std::string>& columns,
                             std::vector<std::vector<std::string>>& out) = 0;  // 31
    // Replaces every `item` child of the node at key by one item per row,
    // with the attributes named by `columns`. 1, or 0 when the node is
    // missing or a row's length differs from the columns' (nothing changed).
    virtual int SetItemTable(const std::string& key, const std::vector<std::string>& columns,
                             const std::vector<std::vector<std::string>>& table) = 0;  // 32
};

// Creates an XMLParse into `out`; 0 when set, E_FAIL otherwise.
HRESULT CreateXMLParse(boost::shared_ptr<IXMLParse>& out);
