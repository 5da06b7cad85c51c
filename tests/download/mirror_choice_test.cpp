// The mirror choice policy over probe results, without a network.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "download/mirror_choice.h"

namespace {

UrlCfg Mirror(const std::string& url, int pingTime, bool notFull = true) {
    UrlCfg c;
    strncpy(c.url, url.c_str(), sizeof(c.url) - 1);
    c.fileSizeConsistent = true;
    c.pingTime = pingTime;
    c.networkNotFull = notFull;
    return c;
}

std::vector<std::string> Urls(const MirrorChoice& choice) {
    std::vector<std::string> out;
    for (const UrlCfg& c : choice.used)
        out.push_back(c.url);
    return out;
}

const UrlCfg kCdn = Mirror("http://cdn/download/f", 0);

}  // namespace

TEST(MirrorChoice, OrdersByPingStablyDropsFullMirrorsAndKeepsFive) {
    const std::vector<UrlCfg> passed = {
        Mirror("a", 30), Mirror("b", 10), Mirror("c", 30, false), Mirror("d", 20),
        Mirror("e", 10), Mirror("f", 40), Mirror("g", 50),
    };
    const MirrorChoice choice = ChooseMirrors(passed, &kCdn);
    // Equal times keep the configuration's order (b before e); g is the sixth.
    EXPECT_EQ(Urls(choice), (std::vector<std::string>{"b", "e", "d", "a", "f"}));
    EXPECT_EQ(choice.cdn, CdnReserve::kNotNeeded);
    EXPECT_FALSE(choice.UsingCdn());
    EXPECT_EQ(choice.threadsPerUrl, 0);
}

TEST(MirrorChoice, CdnReserveByNumberOfPassingMirrors) {
    struct Case {
        std::vector<UrlCfg> passed;
        bool haveCdn;
        std::vector<std::string> used;
        CdnReserve cdn;
        int threads;
    };
    const std::string cdn = kCdn.url;
    const Case cases[] = {
        {{}, true, {cdn}, CdnReserve::kAlone, kCdnAloneThreads},
        {{}, false, {}, CdnReserve::kMissingAlone, 0},
        // A mirror whose network is full counts as not passing.
        {{Mirror("a", 1, false)}, true, {cdn}, CdnReserve::kAlone, kCdnAloneThreads},
        {{Mirror("a", 1)}, true, {"a", cdn}, CdnReserve::kAdded, 0},
        {{Mirror("a", 9), Mirror("b", 1)}, true, {"b", "a", cdn}, CdnReserve::kAdded, 0},
        {{Mirror("a", 1), Mirror("b", 2)}, false, {"a", "b"}, CdnReserve::kMissingAdded, 0},
        {{Mirror("a", 1), Mirror("b", 2), Mirror("c", 3)},
         true,
         {"a", "b", "c"},
         CdnReserve::kNotNeeded,
         0},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        const MirrorChoice choice = ChooseMirrors(c.passed, c.haveCdn ? &kCdn : nullptr);
        EXPECT_EQ(Urls(choice), c.used) << "case " << i;
        EXPECT_EQ(choice.cdn, c.cdn) << "case " << i;
        EXPECT_EQ(choice.UsingCdn(), c.cdn == CdnReserve::kAlone || c.cdn == CdnReserve::kAdded)
            << "case " << i;
        EXPECT_EQ(choice.threadsPerUrl, c.threads) << "case " << i;
    }
}
