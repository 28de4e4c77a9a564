#include <gtest/gtest.h>

#include "imaging/picture.h"

TEST(RoundUpToEven, Values) {
  EXPECT_EQ(RoundUpToEven(0), 0);
  EXPECT_EQ(RoundUpToEven(53), 54);
  EXPECT_EQ(RoundUpToEven(54), 54);
}
