#include "base/Exceptions.h"
#include <gtest/gtest.h>
TEST(P, Placeholder) { EXPECT_STREQ(EReadError().what(), "Stream read error"); }
