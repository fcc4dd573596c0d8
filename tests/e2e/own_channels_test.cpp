// Each execution writes on the channels it is handed and on no others: two
// executions in one process, their channels alive side by side, keep their
// lines and their counts of write errors apart.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "control/program.h"
#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"
#include "output/channel.h"

namespace vok {
namespace {

using e2e::RunDir;

void lay_out(const RunDir& dir) {
  e2e::RunSettingsText run;
  run.x = 1;
  run.y = 3;
  run.data = "bilinear.dat";
  dir.write("Runvok.cnl", e2e::top_file(e2e::TopSettings{}, {"runT.cnl"}));
  dir.write("runT.cnl", e2e::run_file(run));
  dir.write("bilinear.dat", e2e::fixture("bilinear.dat"));
}

TEST(OwnChannels, TwoExecutionsKeepTheirLinesAndWriteErrorsApart) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> full(std::fopen("/dev/full", "w"),
                                                             &std::fclose);
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  RunDir alone, on_full_device, in_memory;
  for (const RunDir* dir : {&alone, &on_full_device, &in_memory}) lay_out(*dir);
  const e2e::ProgramResult expected = alone.run();
  ASSERT_EQ(expected.status, 0);

  // Both alive from the start: the first execution's console cannot be written.
  Channels first;
  first.console.attach(full.get());
  CapturedChannels second;
  EXPECT_EQ(run_program_in(first, on_full_device.path().string(), 1, {}), 1);
  EXPECT_EQ(run_program_in(second.all(), in_memory.path().string(), 1, {}), 0);

  EXPECT_EQ(first.write_errors(), 1);
  EXPECT_EQ(on_full_device.read("Vok-error.out"),
            " **** Error writing console\n at console: No space left on device\n");
  EXPECT_EQ(second.all().write_errors(), 0);
  EXPECT_EQ(e2e::mask_times(second.console()), e2e::mask_times(expected.console));
  EXPECT_EQ(second.standard_error(), "");
  EXPECT_EQ(in_memory.read("Vok-error.out"), "");
  EXPECT_EQ(e2e::mask_times(in_memory.read("runT_1-_3.out")),
            e2e::mask_times(alone.read("runT_1-_3.out")));
}

}  // namespace
}  // namespace vok
