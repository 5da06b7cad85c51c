// Faults the fuzz targets found, each kept as a test named after what broke.
#include <gtest/gtest.h>

#include <string>

#include "download/downloader_curl.h"

namespace {

// The configuration reader ran the XML parser to the text's NUL, past the
// length it was given (an empty, unterminated buffer read the heap beyond it).
TEST(FuzzRegression, ConfigTextIsNotReadPastItsLength) {
    const std::string config =
        "<download size=\"10\" version=\"2\"><url size=\"0\"/><hash size=\"0\"/></download>";
    // Nothing of it: an empty document, which names no version.
    DownloaderCurl none;
    EXPECT_LT(none.LoadConfigText(config.c_str(), 0), 0);
    EXPECT_EQ(none.GetErrorCode(), kConfigLoadVersionError);
    // "<download": not XML at all.
    DownloaderCurl cut;
    EXPECT_LT(cut.LoadConfigText(config.c_str(), 9), 0);
    EXPECT_EQ(cut.GetErrorCode(), kConfigLoadError);
    EXPECT_EQ(cut.GetDownloadState(), kStateFailed);
    // Read in full the text asks for a newer installer.
    DownloaderCurl whole;
    whole.LoadConfigText(config.c_str(), static_cast<int>(config.size()));
    EXPECT_EQ(whole.GetErrorCode(), kNeedUpdateDownload);
}

}  // namespace
