// The perform routine under RealtimeSanitizer (-fsanitize=realtime): any
// allocation, free, lock or blocking call inside it ends the program with a
// report. Built only in a RealtimeSanitizer build.
#include <gtest/gtest.h>

#include <cstdlib>

#include "external/core/realtime.h"
#include "realtime_scenario.h"

namespace omber::external {
namespace {

void* allocateInRealtimeContext(std::size_t bytes) OMBER_NONBLOCKING { return std::malloc(bytes); }

TEST(RealtimeSanitizer, IsWatchingNonblockingFunctions) {
  EXPECT_DEATH(
      {
        void* p = allocateInRealtimeContext(32);
        std::free(p);
      },
      "RealtimeSanitizer");
}

TEST(RealtimeSanitizer, PerformStaysRealtimeSafeThroughEveryCommandKind) {
  for (const double rate : {44100.0, 48000.0}) {
    Instance instance([](const std::string&) {});
    const auto stats = testing::runEveryCommandKind(
        instance,
        [](Instance& target, const double* const* ins, double* const* outs, long frames) {
          target.perform(ins, 2, outs, 2, frames);
        },
        rate);
    EXPECT_GT(stats.commandsApplied, 300) << rate;
    EXPECT_GT(stats.capturedBytes, 0u) << rate;
  }
}

}  // namespace
}  // namespace omber::external
