#include <gtest/gtest.h>

#include "core/live/readiness.h"

namespace omber::live {
namespace {

// A later readiness (a reconnect's) that leaves the duration or the time
// signature out keeps the ones known; tempo and loop band are its own.
TEST(ReadinessTest, AReadinessKeepsTheDurationAndSignatureItLeavesOut) {
  Readiness readiness;
  EXPECT_FALSE(readiness.ready());
  EXPECT_EQ(readiness.timeSignature(), "4/4");

  readiness.apply({12.5, 96.0, "7/8", false});
  EXPECT_TRUE(readiness.ready());
  EXPECT_EQ(readiness.sourceDuration(), 12.5);
  EXPECT_EQ(readiness.serverTempo(), 96.0);
  EXPECT_EQ(readiness.timeSignature(), "7/8");
  EXPECT_EQ(readiness.loopBandCapability(), std::optional<bool>(false));

  readiness.withdraw();  // a source upload: not ready, nothing forgotten
  EXPECT_FALSE(readiness.ready());
  EXPECT_EQ(readiness.sourceDuration(), 12.5);

  readiness.apply({});
  EXPECT_TRUE(readiness.ready());
  EXPECT_EQ(readiness.sourceDuration(), 12.5);
  EXPECT_EQ(readiness.timeSignature(), "7/8");
  EXPECT_EQ(readiness.serverTempo(), 0.0);
  EXPECT_FALSE(readiness.loopBandCapability().has_value());

  readiness.setSourceDuration(4.0);  // the audio that arrived says otherwise
  EXPECT_EQ(readiness.sourceDuration(), 4.0);
  EXPECT_TRUE(readiness.ready());
}

}  // namespace
}  // namespace omber::live
