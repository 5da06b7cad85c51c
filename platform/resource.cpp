#include "platform/resource.h"

#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/text.h"

namespace {
struct Table {
    std::mutex lock;
    std::map<std::pair<int, std::wstring>, ResourceBlob> blobs;
};

Table& GetTable() {
    static Table table;
    return table;
}

std::wstring LowerType(const wchar_t* type) {
    std::wstring t = type ? type : L"";
    for (auto& c : t) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return t;
}
}  // namespace

void RegisterResource(int id, const wchar_t* type, const void* data, size_t size) {
    Table& table = GetTable();
    std::lock_guard<std::mutex> hold(table.lock);
    table.blobs[{id, LowerType(type)}] = {static_cast<const unsigned char*>(data), size};
}

bool FindResourceBlob(int id, const wchar_t* type, ResourceBlob& out) {
    Table& table = GetTable();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.blobs.find({id, LowerType(type)});
    if (it == table.blobs.end() || !it->second.data)
        return false;
    out = it->second;
    return true;
}

bool LoadResourceText(int id, const wchar_t* type, std::string& out) {
    ResourceBlob blob;
    if (!FindResourceBlob(id, type, blob) || blob.size == 0)
        return false;
    // The bytes are read as a NUL-terminated string, so text ends at a NUL.
    const char* text = reinterpret_cast<const char*>(blob.data);
    out.assign(text, strnlen(text, blob.size));
    return true;
}
