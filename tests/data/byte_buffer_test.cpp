#include "data/byte_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace vok {
namespace {

// Growing keeps the bytes asked for, whether the buffer moves from small to
// large (huge-page) storage or within either.
TEST(ByteBuffer, GrowingKeepsTheBytesAskedFor) {
  struct Case {
    std::size_t first, second, keep;
  };
  for (const Case c : {Case{100, 5000, 100}, Case{1000, ByteBuffer::kLarge + 3, 999},
                       Case{ByteBuffer::kLarge, 3 * ByteBuffer::kHugePage, 12345},
                       Case{64, 128, 0}}) {
    SCOPED_TRACE(c.second);
    ByteBuffer b;
    b.reserve(c.first, 0);
    ASSERT_GE(b.size(), c.first);
    for (std::size_t i = 0; i < c.first; ++i) b[i] = static_cast<char>(i * 7 + 1);
    b.reserve(c.second, c.keep);
    ASSERT_GE(b.size(), c.second);
    for (std::size_t i = 0; i < c.keep; ++i) ASSERT_EQ(b[i], static_cast<char>(i * 7 + 1)) << i;
  }
}

TEST(ByteBuffer, LargeBuffersAreWholeAlignedHugePages) {
  ByteBuffer b;
  b.reserve(ByteBuffer::kLarge + 1, 0);
  EXPECT_EQ(b.size() % ByteBuffer::kHugePage, 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data()) % ByteBuffer::kHugePage, 0u);
  const char* before = b.data();
  b.reserve(b.size(), b.size());  // room enough: nothing moves
  EXPECT_EQ(b.data(), before);
}

}  // namespace
}  // namespace vok
