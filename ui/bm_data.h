// A bitmap from the installer's resources together with a copy of its pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gui.h"

class BMData {
public:
    BMData() = default;
    virtual ~BMData();
    BMData(const BMData&) = delete;
    BMData& operator=(const BMData&) = delete;

    // Replaces the held bitmap with resource id; true when both the bitmap and
    // its pixel copy (width x height x 4 bytes) exist.
    bool Load(int id);

    HBITMAP m_hBitmap = nullptr;  // owned
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint8_t> m_pixels;  // owned copy, 32 bits per pixel

private:
    void Release();
};
