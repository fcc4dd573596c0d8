// The shipped CSV example: rows read with "format=*" give the same run as the
// same numbers laid out in fixed columns.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "e2e/run_in_dir.h"

namespace vok::e2e {
namespace {

std::string example_file(const std::string& name) {
  std::ifstream in(std::filesystem::path(VOK_SOURCE_DIR) / "examples/csv" / name, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "no file examples/csv/" << name;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The CSV file rewritten in fixed columns: the same header (with a fixed
// format) and the same column-name row, each value in its own columns.
std::string in_fixed_columns(const std::string& csv) {
  std::istringstream in(csv);
  std::string title, keywords, names, line;
  std::getline(in, title);
  std::getline(in, keywords);
  std::getline(in, names);
  const std::string star = "format=*";
  const std::size_t at = keywords.find(star);
  EXPECT_NE(at, std::string::npos);
  keywords.replace(at, star.size(), "format=(f6.0,2f12.5)");
  std::string out = title + "\n" + keywords + "\n" + names + "\n";
  while (std::getline(in, line)) {
    std::string fields[3];
    std::istringstream row(line);
    for (std::string& f : fields) std::getline(row, f, ',');
    char text[64];
    std::snprintf(text, sizeof text, "%6s%12s%12s\n", fields[0].c_str(), fields[1].c_str(),
                  fields[2].c_str());
    out += text;
  }
  return out;
}

std::string without_format_line(const std::string& report) {
  std::string out;
  for (const std::string& line : lines_of(report))
    if (line.find("Data format: ") == std::string::npos) out += line + "\n";
  return out;
}

TEST(CsvExample, ListDirectedRowsRunLikeFixedColumns) {
  const char* outputs[] = {"sensors_2-_3.graph", "sensors-xy.graph", "sensors-frames.out"};
  std::string csv_outputs[3];
  std::string csv_report;
  {
    RunDir dir;
    for (const char* name : {"Runvok.cnl", "sensors.cnl", "sensors.csv"})
      dir.write(name, example_file(name));
    ProgramResult r = dir.run();
    ASSERT_EQ(r.status, 0) << r.console;
    csv_report = mask_times(dir.read("sensors_2-_3.out"));
    for (int i = 0; i < 3; ++i) csv_outputs[i] = mask_times(dir.read(outputs[i]));
  }
  EXPECT_NE(csv_report.find(" First datum read in file       2    Last datum read    1201"),
            std::string::npos);
  EXPECT_NE(csv_report.find("            Data format: *  "), std::string::npos);

  RunDir dir;
  dir.write("Runvok.cnl", example_file("Runvok.cnl"));
  dir.write("sensors.cnl", example_file("sensors.cnl"));
  dir.write("sensors.csv", in_fixed_columns(example_file("sensors.csv")));
  ProgramResult r = dir.run();
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(same_lines(without_format_line(csv_report),
                         without_format_line(mask_times(dir.read("sensors_2-_3.out")))));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(outputs[i]);
    EXPECT_TRUE(same_lines(csv_outputs[i], mask_times(dir.read(outputs[i]))));
  }
}

TEST(CsvExample, MalformedRowStopsWithTheReadErrorMessages) {
  RunDir dir;
  dir.write("Runvok.cnl", example_file("Runvok.cnl"));
  dir.write("sensors.cnl", example_file("sensors.cnl"));
  std::string csv = example_file("sensors.csv");
  const std::string row = "\n5,";
  const std::size_t at = csv.find(row);
  ASSERT_NE(at, std::string::npos);
  csv.insert(csv.begin() + static_cast<std::ptrdiff_t>(at + row.size()), ',');  // an empty field
  dir.write("sensors.csv", csv);
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  std::string format50(50, ' ');
  format50[0] = '*';
  const std::string lines = " ** Error in read of data file  8\n Check format " + format50 + "\n";
  // Console and error file also name the row's line.
  const std::string detail = " at sensors.csv line 8: \"5,,-0.06872,1.09642\"\n";
  EXPECT_EQ(r.console, lines + detail);
  EXPECT_EQ(dir.read("Vok-error.out"), lines + detail);
  const std::string report = dir.read("sensors_2-_3.out");
  EXPECT_TRUE(report.ends_with(lines)) << report;
}

}  // namespace
}  // namespace vok::e2e
