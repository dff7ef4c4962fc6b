#include "platform/status.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

namespace {

Result<int> Half(int n) {
  if (n % 2 != 0) return Status::Failure(StatusCode::kInvalidArgument, std::to_string(n) + " is odd");
  return n / 2;
}

TEST(StatusTest, OkCarriesNothing) {
  const Status ok;
  EXPECT_TRUE(ok.ok());
  EXPECT_EQ(StatusCode::kOk, ok.code());
  EXPECT_EQ(0, ok.error_number());
  EXPECT_EQ("", ok.message());
}

TEST(StatusTest, ErrnoBecomesASystemErrorWithTheSystemsText) {
  const Status missing = ErrnoStatus(ENOENT);
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(StatusCode::kSystemError, missing.code());
  EXPECT_EQ(ENOENT, missing.error_number());
  EXPECT_EQ("No such file or directory", missing.message());
}

TEST(StatusTest, ResultHoldsAValueOrTheFailure) {
  const Result<int> four = Half(8);
  ASSERT_TRUE(four.ok());
  EXPECT_EQ(4, four.value());
  EXPECT_TRUE(four.status().ok());

  const Result<int> odd = Half(7);
  EXPECT_FALSE(odd.ok());
  EXPECT_EQ(StatusCode::kInvalidArgument, odd.status().code());
  EXPECT_EQ("7 is odd", odd.status().message());
}

}  // namespace
