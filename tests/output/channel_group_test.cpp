// A message sent to a group of channels reaches each member whole.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "output/channel.h"

namespace vok {
namespace {

TEST(ChannelGroup, EachMemberGetsEveryLineInOrder) {
  Channel a, b, closed;
  a.capture();
  b.capture();
  static const Layout kCount = Layout::parse(R"(/ 2X I3)");
  const ChannelGroup both{&a, &closed, &b};
  both.write_free({"lg =", 0, " < 1"});
  both.write(kCount, {7});
  both.line("text");
  both.append("already whole\n");
  both.each([](Channel& ch) { ch.line("by each"); });
  const std::string want = " lg = 0  < 1\n\n    7\ntext\nalready whole\nby each\n";
  EXPECT_EQ(a.text(), want);
  EXPECT_EQ(b.text(), want);
  EXPECT_FALSE(closed.is_open());
}

TEST(ChannelGroup, OneChannelIsAGroupOfOne) {
  Channel only;
  only.capture();
  const auto send = [](const ChannelGroup& to) { to.write_free({"x", 1.5f}); };
  send(only);
  EXPECT_EQ(only.text(), " x 1.5\n");
}

}  // namespace
}  // namespace vok
