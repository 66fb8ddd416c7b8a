#include "image/byte_order.h"

#include <gtest/gtest.h>

TEST(ByteOrderTest, AssemblesLeastSignificantByteFirst) {
  const uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x80};
  EXPECT_EQ(ReadLE16(bytes), 0x5678);
  EXPECT_EQ(ReadLE32(bytes), 0x12345678u);
  EXPECT_EQ(ReadLE16(bytes + 4), 0xFFFF);
  EXPECT_EQ(ReadLE32(bytes + 4), 0xFFFFFFFFu);
  EXPECT_EQ(ReadLE32(bytes + 5), 0x80FFFFFFu);  // the top byte's high bit stays a value bit
}
