// Replays the inputs kept in one folder of tests/fuzz_regressions/ through
// the entry point of the fuzz target of the same name, linked into this
// program. A fault shows as that target's own abort or as a sanitizer report
// in the sanitizer builds.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(FuzzRegressions, EveryKeptInputRunsCleanly) {
  std::size_t replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(OMBER_REGRESSION_DIR)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0u) << "no inputs in " << OMBER_REGRESSION_DIR;
}

}  // namespace
