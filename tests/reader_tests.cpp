#include <gtest/gtest.h>
#include "test_support.h"
#include "vornex.h"
TEST(Reader, Placeholder) { EXPECT_EQ(vornex_init_uncab(nullptr), 0u); }
