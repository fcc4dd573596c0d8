#include "control/terminal_progress.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

namespace vok {
namespace {

TEST(TerminalProgress, NoSinkWhenTheStandardErrorStreamIsNoTerminal) {
  // The standard error stream sent to a file for the time of the test.
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fflush(stderr);
  const int saved = ::dup(2);
  ASSERT_GE(saved, 0);
  ASSERT_GE(::dup2(::fileno(file), 2), 0);
  bool draws = true;
  {
    Progress quiet("resamples", 3, terminal_progress());
    draws = quiet.draws();
    quiet.advance(3);
  }
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  EXPECT_FALSE(draws);
  std::fseek(file, 0, SEEK_END);
  EXPECT_EQ(std::ftell(file), 0L);
  std::fclose(file);
}

}  // namespace
}  // namespace vok
