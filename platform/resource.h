// Resources compiled into the program, looked up by integer id and type name
// (type names compare without case, as FindResource does).
#pragma once

#include <cstddef>
#include <string>

struct ResourceBlob {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// Adds or replaces a blob; the bytes must outlive the program (static arrays).
void RegisterResource(int id, const wchar_t* type, const void* data, size_t size);
bool FindResourceBlob(int id, const wchar_t* type, ResourceBlob& out);
// Copies the resource into a NUL-terminated string; false when missing or empty.
bool LoadResourceText(int id, const wchar_t* type, std::string& out);
