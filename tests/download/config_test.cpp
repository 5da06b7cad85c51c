// Configuration reading and the ways a download ends before any transfer.
#include <sys/stat.h>

#include <cstring>

#include "tests/download/engine_fixture.h"

namespace korvel_test {
namespace {

class ConfigTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ServeContent(Content(300000));
        m_mirror = AddMirror(21);
    }
    // The engine ended as failed before a transfer, with this error.
    void ExpectRefused(int state, int error) {
        EXPECT_EQ(Engine().GetDownloadState(), state);
        EXPECT_EQ(Engine().GetErrorCode(), error);
        ASSERT_EQ(m_events.FinalCount(), 1);
        EXPECT_EQ(m_events.Finals()[0], (std::vector<int>{kEventFailed, 0, 0}));
        EXPECT_TRUE(m_mirror->Requests().empty()) << "a refused configuration sent a request";
    }
    korvel_mirror::MirrorServer* m_mirror = nullptr;
};

TEST_F(ConfigTest, VersionAboveOneAsksForNewerInstallerWithoutTraffic) {
    ConfigOptions o;
    o.version = "2";
    Run(MakeConfig(*m_content, {Url(m_mirror)}, o));
    ExpectRefused(kStateNeedUpdate, kNeedUpdateDownload);
    EXPECT_EQ(Engine().GetErrorString(), "NeedUpdateDownload");
}

TEST_F(ConfigTest, MissingVersionAsksForNewerInstaller) {
    ConfigOptions o;
    o.withVersion = false;
    Run(MakeConfig(*m_content, {Url(m_mirror)}, o));
    ExpectRefused(kStateNeedUpdate, kConfigLoadVersionError);
    EXPECT_EQ(Engine().GetErrorString(), "ConfigLoadVersionError");
}

TEST_F(ConfigTest, MalformedXmlFails) {
    std::string config = MakeConfig(*m_content, {Url(m_mirror)});
    config.resize(config.size() / 2);
    Run(config);
    ExpectRefused(kStateFailed, kConfigLoadError);
}

TEST_F(ConfigTest, MissingMirrorItemFails) {
    ConfigOptions o;
    o.urlSizeOverride = 3;
    Run(MakeConfig(*m_content, {Url(m_mirror), Url(m_mirror)}, o));
    ExpectRefused(kStateFailed, kConfigLoadUrlError);
}

TEST_F(ConfigTest, SizeBeyondIntFails) {
    ConfigOptions o;
    o.sizeText = "2147483648";
    Run(MakeConfig(*m_content, {Url(m_mirror)}, o));
    ExpectRefused(kStateFailed, kConfigLoadFileSizeError);
}

TEST_F(ConfigTest, NullTextFailsWithEvent) {
    m_engine = std::make_unique<DownloaderCurl>(FastTuning());
    m_engine->SetCallback(m_events.Callback());
    ASSERT_EQ(m_engine->StartWithConfigText(nullptr, 0, m_dest), 0);
    ASSERT_TRUE(m_events.WaitFinal());
    WaitNotRunning();
    EXPECT_FALSE(Engine().IsDownloading());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
}

TEST_F(ConfigTest, EmptyCallbackRefused) {
    DownloaderCurl engine(FastTuning());
    EXPECT_EQ(engine.SetCallback(DownloadCallback()), E_POINTER);
}

TEST_F(ConfigTest, AlreadyCompleteFileIsLeftUntouched) {
    WriteFile(m_dest, *m_content);
    struct stat before {};
    ASSERT_EQ(stat(m_dest.c_str(), &before), 0);
    Run(MakeConfig(*m_content, {Url(m_mirror)}));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(Engine().GetErrorCode(), kNoNeedDownload);
    ASSERT_EQ(m_events.FinalCount(), 1);
    EXPECT_EQ(m_events.Finals()[0], (std::vector<int>{kEventFinished, 0, 1}));
    EXPECT_TRUE(m_mirror->Requests().empty());
    struct stat after {};
    ASSERT_EQ(stat(m_dest.c_str(), &after), 0);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
}

TEST_F(ConfigTest, LowerCaseDigestsNeverMatchSoTheFileIsFetched) {
    WriteFile(m_dest, *m_content);
    ConfigOptions o;
    o.lowerCaseHashes = true;
    o.withHashes = true;
    Run(MakeConfig(*m_content, {Url(m_mirror)}, o));
    // Downloaded again; the lower-case block digests never match either, and
    // the one mirror is the owner of every block, so nothing can repair them.
    EXPECT_FALSE(RangesSeen(*m_mirror).empty());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kRepairFailError);
}

TEST_F(ConfigTest, NoDigestsAcceptsTheDownload) {
    ConfigOptions o;
    o.withHashes = false;
    Run(MakeConfig(*m_content, {Url(m_mirror)}, o));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(DestContent(), *m_content);
}

// The caller's buffer may be reused as soon as the start call returns.
TEST_F(ConfigTest, StartCopiesTheConfigurationText) {
    const std::string config = MakeConfig(*m_content, {Url(m_mirror)});
    std::vector<char> buffer(config.begin(), config.end());
    m_engine = std::make_unique<DownloaderCurl>(FastTuning());
    m_engine->SetCallback(m_events.Callback());
    ASSERT_EQ(m_engine->StartWithConfigText(buffer.data(), static_cast<int>(buffer.size()), m_dest),
              0);
    memset(buffer.data(), 'x', buffer.size());
    buffer.clear();
    buffer.shrink_to_fit();
    ASSERT_TRUE(m_events.WaitFinal());
    WaitNotRunning();
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(DestContent(), *m_content);
}

// A destination that cannot be created ends the download at once.
TEST_F(ConfigTest, UncreatableDestinationFailsAtOnce) {
    m_dest = m_dir->Sub("missing-folder/pkg.exe");
    Run(MakeConfig(*m_content, {Url(m_mirror)}));
    ExpectFailedOnce(kDownloadExeError);
    EXPECT_TRUE(RangesSeen(*m_mirror).empty()) << "transfers started without a file";
}

TEST(DownloadErrorNames, KnownAndUnknownCodes) {
    EXPECT_EQ(DownloadErrorName(0), "NoError");
    EXPECT_EQ(DownloadErrorName(16), "DispatchFailError");
    EXPECT_EQ(DownloadErrorName(21), "CheckHashError");
    EXPECT_EQ(DownloadErrorName(22), "22");
    EXPECT_EQ(DownloadErrorName(-1), "-1");
}

}  // namespace
}  // namespace korvel_test
