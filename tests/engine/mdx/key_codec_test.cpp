#include "key_codec.h"
#include <gtest/gtest.h>
TEST(KeyCodec, Smoke) { EXPECT_EQ(talvex::engine::mdx::encodeCharKey("ab", 3), "ab "); }
