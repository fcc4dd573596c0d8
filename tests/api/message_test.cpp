// The messages of the public API: a stable name for every kind, and a
// readable line that carries the message's numbers.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vok/vok.h"

namespace vok {
namespace {

TEST(Message, EveryKindHasItsOwnSnakeCaseName) {
  std::set<std::string> names;
  for (int k = 0; k <= static_cast<int>(MessageKind::out_of_memory); ++k) {
    const std::string n = name(static_cast<MessageKind>(k));
    SCOPED_TRACE(n);
    EXPECT_TRUE(names.insert(n).second) << "named twice";
    EXPECT_EQ(n.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos);
  }
  EXPECT_EQ(std::string(name(MessageKind::cdchi_x_not_positive)), "cdchi_x_not_positive");
  EXPECT_EQ(std::string(name(MessageKind::out_of_memory)), "out_of_memory");
}

TEST(Message, DescribeCarriesTheNumbers) {
  struct Case {
    Message message;
    const char* holds;
  };
  Message bootstrap_arrays{MessageKind::out_of_memory};
  bootstrap_arrays.arrays = Arrays::bootstrap;
  const Case cases[] = {
      {{MessageKind::cdchi_x_not_positive, Stage::tests, 4, {-0.3f, 0}}, "-0.3"},
      {{MessageKind::cdchi_df_not_positive, Stage::tests, 4, {-2.5f, 0}}, "-2.5"},
      {{MessageKind::gser_too_many_iterations, Stage::tests, 1, {1e7, 0}}, "1e+07"},
      {{MessageKind::cor_too_many_positions, Stage::summary, 0, {5, 3}}, "5 positions of 3"},
      {{MessageKind::sort_bad_control, Stage::bootstrap, 0, {'X', 0}}, "'X'"},
      {{MessageKind::var_fit_failed, Stage::var_fit, 2, {1, 0}}, "status 1"},
      {bootstrap_arrays, "bootstrap"},
  };
  for (const Case& c : cases) {
    const std::string line = describe(c.message);
    SCOPED_TRACE(line);
    EXPECT_NE(line.find(c.holds), std::string::npos);
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace vok
