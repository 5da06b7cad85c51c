// Narrow text is UTF-8 on POSIX: both Windows code pages map onto it.
#include "platform/text.h"

std::string WideToOem(const std::wstring& text) { return WideToUtf8(text); }
std::wstring AnsiToWide(const std::string& text) { return Utf8ToWide(text); }
