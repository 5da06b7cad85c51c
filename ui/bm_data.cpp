#include "ui/bm_data.h"

#include <new>

BMData::~BMData() {
    Release();
}

void BMData::Release() {
    if (m_hBitmap) {
        DeleteObject(m_hBitmap);
        m_hBitmap = nullptr;
    }
    m_nWidth = 0;
    m_nHeight = 0;
    m_pixels.clear();
}

bool BMData::Load(int id) {
    Release();
    m_hBitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (!m_hBitmap) {
        return false;
    }
    BITMAP info = {};
    if (!GetObjectW(m_hBitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return false;
    }
    m_nWidth = info.bmWidth;
    m_nHeight = info.bmHeight;
    const size_t bytes = size_t(m_nWidth) * size_t(m_nHeight) * 4;
    try {
        m_pixels.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    GetBitmapBits(m_hBitmap, LONG(bytes), m_pixels.data());
    return true;
}
