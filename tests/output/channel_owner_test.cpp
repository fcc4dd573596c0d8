// A file channel of its own is in place once closed; one of a Channels object
// waits, staged, until the owner commits it, and what the owner did not
// commit is gone with it. A write error is told on the owner's console and
// error file, and counted there, alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"
#include "output/channel.h"

namespace vok {
namespace {

using e2e::RunDir;

TEST(ChannelOwner, AFileOfItsOwnIsInPlaceOnceClosedOneOfChannelsOnceCommitted) {
  RunDir dir;
  Channel own("own");
  ASSERT_EQ(own.open_file((dir.path() / "own.txt").string()), 0);
  own.line("own line");
  EXPECT_TRUE(own.close());
  EXPECT_EQ(e2e::files_in(dir.path()), std::set<std::string>{"own.txt"});
  EXPECT_EQ(dir.read("own.txt"), "own line\n");

  Channels program;
  ASSERT_EQ(program.report.open_file((dir.path() / "run.out").string()), 0);
  program.report.line("report line");
  EXPECT_TRUE(program.report.close());
  EXPECT_FALSE(dir.exists("run.out"));
  EXPECT_TRUE(program.close_all());  // commits what is staged
  EXPECT_EQ(dir.read("run.out"), "report line\n");

  {
    Channels gone;
    ASSERT_EQ(gone.graph.open_file((dir.path() / "staged.graph").string()), 0);
    gone.graph.close();
    ASSERT_EQ(gone.report.open_file((dir.path() / "open.out").string()), 0);
    gone.report.line("never committed");
  }
  EXPECT_EQ(e2e::files_in(dir.path()), (std::set<std::string>{"own.txt", "run.out"}));
}

TEST(ChannelOwner, AWriteErrorIsToldAndCountedByItsOwnerAlone) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> full(std::fopen("/dev/full", "w"),
                                                             &std::fclose);
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  CapturedChannels failing, bystander;
  failing.all().error_file.capture();
  bystander.all().error_file.capture();
  Channel alone("alone");

  for (Channel* channel : {&failing.all().report, &alone}) {
    channel->attach(full.get());
    channel->line("lost");
    EXPECT_FALSE(channel->flush());
    EXPECT_FALSE(channel->flush());  // told once
    EXPECT_TRUE(channel->failed());
  }
  const std::string told = " **** Error writing report\n at report: No space left on device\n";
  EXPECT_EQ(failing.console(), told);
  EXPECT_EQ(failing.all().error_file.text(), told);
  EXPECT_EQ(failing.all().write_errors(), 1);
  EXPECT_FALSE(failing.all().close_all());
  EXPECT_EQ(bystander.console(), "");
  EXPECT_EQ(bystander.all().error_file.text(), "");
  EXPECT_EQ(bystander.all().write_errors(), 0);
  EXPECT_TRUE(bystander.all().close_all());
}

}  // namespace
}  // namespace vok
