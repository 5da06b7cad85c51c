// Narrow text is UTF-8 on POSIX: both Windows code pages map onto it.
#include <locale.h>
#include <sys/random.h>

#include <cerrno>
#include <fstream>

#include "platform/text.h"

std::string WideToOem(const std::wstring& text) {
    return WideToUtf8(text);
}
std::wstring AnsiToWide(const std::string& text) {
    return Utf8ToWide(text);
}

bool SystemRandomBytes(void* buffer, size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = getrandom(out + done, size - done, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (done == size)
        return true;
    std::ifstream urandom("/dev/urandom", std::ios::binary);
    urandom.read(reinterpret_cast<char*>(out + done), static_cast<std::streamsize>(size - done));
    return urandom.gcount() == static_cast<std::streamsize>(size - done);
}

// C.UTF-8 is built into current C libraries; the others cover older systems.
ScopedUtf8Names::ScopedUtf8Names() {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
        if (l) {
            m_locale = l;
            m_previous = uselocale(l);
            return;
        }
    }
}

ScopedUtf8Names::~ScopedUtf8Names() {
    if (!m_locale)
        return;
    uselocale(static_cast<locale_t>(m_previous));
    freelocale(static_cast<locale_t>(m_locale));
}
