#include "base/Exceptions.h"
#include <gtest/gtest.h>
TEST(Exceptions, Placeholder) { EXPECT_STREQ(EReadError().what(), "Stream read error"); }
