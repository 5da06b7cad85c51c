// Replays a fuzz target's corpus (seeds and past findings) through its entry
// point in the normal build: the target aborts on any broken invariant.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

TEST(FuzzCorpus, EveryInputRunsClean) {
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(KORVEL_FUZZ_CORPUS)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    ASSERT_FALSE(inputs.empty()) << "no corpus in " << KORVEL_FUZZ_CORPUS;
    for (const auto& path : inputs) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        const std::string data((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        EXPECT_EQ(
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
    }
}

}  // namespace
