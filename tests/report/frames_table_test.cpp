// The per-frame table beside a run's report: its name, its header and rows,
// numbers that read back as the same 32-bit values, and quoted stamps.
#include "report/frames_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace vok {
namespace {

Frame frame(int number, int first_row, int last_row, float cdf_start) {
  Frame f;
  f.number = number;
  f.first_row = first_row;
  f.last_row = last_row;
  int i = 0;
  for (Test t : kTests) f.cdf[t] = cdf_start + 0.125f * static_cast<float>(i++);
  i = 0;
  for (Test t : kTests) f.statistic[t] = 1.5f * static_cast<float>(number + i++);
  for (Test t : kTests) f.df[t] = 10 * number;
  f.df.hyyx = 0;
  f.significant.hxxy = true;
  for (Test t : kTests) f.qvalue[t] = 1.0;
  f.qvalue.hxxy = 0.015625 * number;
  return f;
}

TEST(FramesTable, NameBesideTheReport) {
  EXPECT_EQ(frames_table_name("runA_1-_2.out"), "runA_1-_2.csv");
  EXPECT_EQ(frames_table_name("sub/dir.v2/run_1-_3.out"), "sub/dir.v2/run_1-_3.csv");
  EXPECT_EQ(frames_table_name("odd"), "odd.csv");
}

TEST(FramesTable, HeaderThenOneRowPerFrame) {
  Result r;
  r.frames = {frame(1, 1, 40, 0.0f), frame(2, 41, 80, 0.125f)};
  // Tests Hxxy, Hyyx, Hxxx, Hyyy, Cx, Cy, Cxy hold cdf_start + 0, 0.125, ...
  // 0.75 and statistics 1.5 * (number + 0, 1, ... 6); the columns run Cx, Cy,
  // Cxy, Hxxx, Hyyy, Hxxy, Hyyx, then the q-values in the same order.
  const std::string want =
      "frame,first_row,last_row,"
      "statistic_Cx,df_Cx,cdf_Cx,pvalue_Cx,significant_Cx,"
      "statistic_Cy,df_Cy,cdf_Cy,pvalue_Cy,significant_Cy,"
      "statistic_Cxy,df_Cxy,cdf_Cxy,pvalue_Cxy,significant_Cxy,"
      "statistic_Hxxx,df_Hxxx,cdf_Hxxx,pvalue_Hxxx,significant_Hxxx,"
      "statistic_Hyyy,df_Hyyy,cdf_Hyyy,pvalue_Hyyy,significant_Hyyy,"
      "statistic_Hxxy,df_Hxxy,cdf_Hxxy,pvalue_Hxxy,significant_Hxxy,"
      "statistic_Hyyx,df_Hyyx,cdf_Hyyx,pvalue_Hyyx,significant_Hyyx,"
      "qvalue_Cx,qvalue_Cy,qvalue_Cxy,qvalue_Hxxx,qvalue_Hyyy,qvalue_Hxxy,qvalue_Hyyx\n"
      "1,1,40,7.5,10,0.5,0.5,false,9,10,0.625,0.375,false,10.5,10,0.75,0.25,false,"
      "4.5,10,0.25,0.75,false,6,10,0.375,0.625,false,1.5,10,0,1,true,3,0,0.125,0.875,false,"
      "1,1,1,1,1,0.015625,1\n"
      "2,41,80,9,20,0.625,0.375,false,10.5,20,0.75,0.25,false,12,20,0.875,0.125,false,"
      "6,20,0.375,0.625,false,7.5,20,0.5,0.5,false,3,20,0.125,0.875,true,4.5,0,0.25,0.75,false,"
      "1,1,1,1,1,0.03125,1\n";
  EXPECT_EQ(frames_table(r, false), want);
}

TEST(FramesTable, NumbersReadBackExactly) {
  const float values[] = {0.1f,      0.99999994f, 1.0f - 1e-7f, 3.0e-8f,      0.33333334f,
                          0.987654f, 1.0f,        0.0f,         7.006492e-45f};
  for (float v : values) {
    Result r;
    r.frames = {frame(1, 1, 12, 0.0f)};
    r.frames[0].cdf.cx = v;
    const std::string text = frames_table(r, false);
    const std::string row = text.substr(text.find('\n') + 1);
    // frame,first_row,last_row,statistic_Cx,df_Cx,cdf_Cx,pvalue_Cx,...
    std::size_t at = 0;
    for (int comma = 0; comma < 5; ++comma) at = row.find(',', at) + 1;
    const std::string cdf = row.substr(at, row.find(',', at) - at);
    at = row.find(',', at) + 1;
    const std::string p = row.substr(at, row.find(',', at) - at);
    SCOPED_TRACE(cdf);
    EXPECT_EQ(std::strtof(cdf.c_str(), nullptr), v);
    EXPECT_EQ(std::strtof(p.c_str(), nullptr), static_cast<float>(1.0 - static_cast<double>(v)));
    EXPECT_LE(cdf.size(), 15u);  // the shortest text, not 17 digits
  }
}

TEST(FramesTable, NotANumberReadsAsNan) {
  Result r;
  r.frames = {frame(1, 1, 12, 0.0f)};
  r.frames[0].cdf.cx = std::numeric_limits<float>::quiet_NaN();
  r.frames[0].statistic.cx = std::numeric_limits<float>::quiet_NaN();
  const std::string text = frames_table(r, false);
  EXPECT_NE(text.find("\n1,1,12,nan,10,nan,nan,false,"), std::string::npos) << text;
}

TEST(FramesTable, StampsTrimmedAndQuotedWhenTheyNeedIt) {
  Result r;
  r.frames = {frame(1, 1, 12, 0.0f), frame(2, 13, 24, 0.0f)};
  r.frames[0].first_stamp = "1997-03-01 00:00:00 ";
  r.frames[0].last_stamp = "1997-03-01 00:00:11 ";
  r.frames[1].first_stamp = "1 Mar, \"noon\"";
  r.frames[1].last_stamp = "plain";
  const std::string text = frames_table(r, true);
  EXPECT_TRUE(text.starts_with("frame,first_row,last_row,start,end,statistic_Cx,")) << text;
  EXPECT_NE(text.find("\n1,1,12,1997-03-01 00:00:00,1997-03-01 00:00:11,7.5,10,0.5,"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n2,13,24,\"1 Mar, \"\"noon\"\"\",plain,9,20,0.5,"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace vok
