// What one client address may hold of the hub: requests in flight and the
// per-second allowance, which refills with time and not beyond its burst.
#include "client_limits.h"

#include <gtest/gtest.h>

namespace kovrad::hub {
namespace {

using Refusal = ClientLimits::Refusal;
using std::chrono::milliseconds;

TEST(ClientLimitsTest, RequestsInFlightAreCountedPerAddress) {
  ClientLimits limits({.requests_per_client = 2, .rate_per_client = 1000});
  EXPECT_EQ(limits.BeginRequest("10.0.0.1"), Refusal::kNone);
  EXPECT_EQ(limits.BeginRequest("10.0.0.1"), Refusal::kNone);
  EXPECT_EQ(limits.BeginRequest("10.0.0.1"), Refusal::kInFlight);
  EXPECT_EQ(limits.BeginRequest("10.0.0.2"), Refusal::kNone);
  limits.EndRequest("10.0.0.1");
  EXPECT_EQ(limits.BeginRequest("10.0.0.1"), Refusal::kNone);
}

TEST(ClientLimitsTest, TheRateRefillsUpToItsBurst) {
  ClientLimits limits({.requests_per_client = 1000, .rate_per_client = 2});
  const auto start = ClientLimits::Clock::now();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(limits.BeginRequest("10.0.0.1", start), Refusal::kNone) << i;
  }
  EXPECT_EQ(limits.BeginRequest("10.0.0.1", start), Refusal::kRate);
  // Half a second at two per second gives one more.
  EXPECT_EQ(limits.BeginRequest("10.0.0.1", start + milliseconds(500)), Refusal::kNone);
  EXPECT_EQ(limits.BeginRequest("10.0.0.1", start + milliseconds(500)), Refusal::kRate);
  // A long pause gives back the burst, not more.
  const auto later = start + std::chrono::hours(1);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(limits.BeginRequest("10.0.0.1", later), Refusal::kNone) << i;
  }
  EXPECT_EQ(limits.BeginRequest("10.0.0.1", later), Refusal::kRate);
}

TEST(ClientLimitsTest, ConnectionsAreCountedUntilClosed) {
  ClientLimits limits({.connections_per_client = 1});
  EXPECT_TRUE(limits.HasRoom("10.0.0.1"));
  limits.OpenConnection("10.0.0.1");
  EXPECT_FALSE(limits.HasRoom("10.0.0.1"));
  EXPECT_TRUE(limits.HasRoom("10.0.0.2"));
  limits.CloseConnection("10.0.0.1");
  EXPECT_TRUE(limits.HasRoom("10.0.0.1"));
}

}  // namespace
}  // namespace kovrad::hub
