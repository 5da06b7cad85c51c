// The 7z container's constants, shared by the header reader and the
// payload writer of the package builder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace seven_zip {

// Property ids of the 7z headers.
enum Property : uint64_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEmptyStream = 0x0E,
    kEmptyFile = 0x0F,
    kName = 0x11,
    kMTime = 0x14,
    kWinAttributes = 0x15,
    kEncodedHeader = 0x17,
};

// Coder ids.
constexpr uint64_t kCopyId = 0x00;
constexpr uint64_t kLzma2Id = 0x21;
constexpr uint64_t kLzmaId = 0x030101;
constexpr uint64_t kAesId = 0x06F10701;

// The signature header: 6 signature bytes, the version, the start header's
// CRC, then the next header's offset, size and CRC.
constexpr size_t kSignatureHeaderSize = 32;
constexpr char kSignature[6] = {'7', 'z', '\xBC', '\xAF', '\x27', '\x1C'};

}  // namespace seven_zip
