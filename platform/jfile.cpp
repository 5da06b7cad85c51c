#include "platform/jfile.h"

#include <cerrno>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/text.h"

JFile::~JFile() {
    Close();
}

bool JFile::Open(const std::wstring& path, int flags) {
    if (!PathFileExists(path)) {
        if (!(flags & kWrite)) {
            Close();
            m_nLastOpenResult = -1;
            return false;
        }
        CreateParentFolders(path);
    }
    Close();

    std::string mode;
    if (flags & kWrite)
        mode += "w";
    if (flags & kRead)
        mode += "r";
    if (flags & kText) {
        mode += "t";
    } else if (flags & kBinary) {
        mode += "b";
    }
    if (mode == "wrt")
        mode = "at";
#ifndef _WIN32
    // POSIX streams have no text mode: "t" is dropped, "b" is harmless.
    if (!mode.empty() && mode.back() == 't')
        mode.pop_back();
#endif
    errno = 0;
    m_file = fopen(WideToUtf8(path).c_str(), mode.c_str());
    m_nLastOpenResult = m_file ? 0 : (errno ? errno : -1);
    return m_file != nullptr;
}

void JFile::Close() {
    if (m_file) {
        fclose(m_file);
        m_file = nullptr;
    }
}

int64_t JFile::Read(void* buffer, int64_t count) {
    if (!m_file || !buffer)
        return -1;
    if (count <= 0)
        return 0;
    return static_cast<int64_t>(fread(buffer, 1, static_cast<size_t>(count), m_file));
}

int64_t JFile::Write(const void* buffer, int64_t count) {
    if (!m_file || !buffer)
        return -1;
    if (count <= 0)
        return 0;
    return static_cast<int64_t>(fwrite(buffer, 1, static_cast<size_t>(count), m_file));
}

int JFile::Seek(int32_t offset, Origin origin) {
    if (!m_file)
        return -1;
    return fseeko(m_file, offset, origin);
}

int64_t JFile::GetPosition() {
    if (!m_file)
        return -1;
    return ftello(m_file);
}

int64_t JFile::GetLength() {
    if (!m_file)
        return -1;
    off_t pos = ftello(m_file);
    if (fseeko(m_file, 0, SEEK_END) != 0)
        return -1;
    off_t end = ftello(m_file);
    fseeko(m_file, pos, SEEK_SET);
    return end;
}
