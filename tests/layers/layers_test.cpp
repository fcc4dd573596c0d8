// The layers of the code: which folder may include which (layers.txt), and
// the library (src/library_sources.txt) closed under its includes, so that
// CMake, setup.py and the R package, which build it from that list alone,
// compile none of the console program's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Include {
  std::string file;  // relative to the repository
  int line = 0;
  std::string target;  // as written between the quotes
};

// Every #include "..." of the C++ files below `root`'s folders.
std::vector<Include> quoted_includes(const fs::path& root,
                                     const std::vector<std::string>& folders) {
  static const std::regex kInclude("^\\s*#\\s*include\\s*\"([^\"]+)\"");
  std::vector<Include> out;
  for (const std::string& folder : folders) {
    if (!fs::exists(root / folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string file = fs::relative(entry.path(), root).generic_string();
      // Copies the R package's configure makes of the library.
      if (file.starts_with("r/src/vok/")) continue;
      std::ifstream in(entry.path());
      std::string text;
      int line = 0;
      std::smatch m;
      while (std::getline(in, text)) {
        ++line;
        if (std::regex_search(text, m, kInclude)) out.push_back({file, line, m[1]});
      }
    }
  }
  std::sort(out.begin(), out.end(), [](const Include& a, const Include& b) {
    return a.file < b.file || (a.file == b.file && a.line < b.line);
  });
  return out;
}

// The lines of a list file without comments and blank lines.
std::vector<std::string> entries(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    out.push_back(line);
  }
  return out;
}

using Table = std::map<std::string, std::vector<std::string>>;

Table read_table(const fs::path& file) {
  Table table;
  for (const std::string& line : entries(file)) {
    std::istringstream words(line);
    std::string from, to;
    words >> from;
    while (words >> to) table[from].push_back(to);
  }
  return table;
}

bool under(const std::string& path, const std::string& prefix) {
  return path == prefix || path.starts_with(prefix + "/");
}

// The include's path as the table names it: "vok/..." for the public
// headers, "" for a file of the includer's own folder.
std::string include_path(const Include& inc) {
  if (inc.target.find('/') == std::string::npos) return "";
  return inc.target;
}

// What breaks the table: one line per include it forbids, and per file of no row.
std::vector<std::string> violations(const fs::path& root, const Table& table) {
  std::vector<std::string> folders;
  for (const auto& [from, to] : table) folders.push_back(from.substr(0, from.find('/')));
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  std::vector<std::string> out;
  for (const Include& inc : quoted_includes(root, folders)) {
    const std::string* row = nullptr;
    for (const auto& [from, to] : table)
      if (under(inc.file, from) && (row == nullptr || from.size() > row->size())) row = &from;
    // Files of folders the table does not split (include/, tools/ ...).
    if (row == nullptr) {
      if (!inc.file.starts_with("src/")) continue;
      out.push_back(inc.file + ": no row of the table");
      continue;
    }
    const std::string target = include_path(inc);
    if (target.empty()) continue;
    const std::vector<std::string>& allowed = table.at(*row);
    const bool ok = std::any_of(allowed.begin(), allowed.end(),
                                [&](const std::string& a) { return under(target, a); });
    if (!ok)
      out.push_back(inc.file + ":" + std::to_string(inc.line) + ": includes \"" + inc.target +
                    "\", which " + *row + " may not");
  }
  return out;
}

// The library's files (src/library_sources.txt: folders and single files of
// src/), each relative to src/.
std::set<std::string> library_files(const fs::path& root) {
  std::set<std::string> files;
  for (const std::string& entry : entries(root / "src/library_sources.txt")) {
    const fs::path path = root / "src" / entry;
    if (fs::is_directory(path)) {
      for (const auto& f : fs::directory_iterator(path))
        files.insert(entry + "/" + f.path().filename().string());
    } else {
      files.insert(entry);
    }
  }
  return files;
}

// Includes of the library's files that are neither the library's nor public.
std::vector<std::string> library_leaks(const fs::path& root) {
  const std::set<std::string> library = library_files(root);
  std::vector<std::string> out;
  for (const Include& inc : quoted_includes(root, {"src"})) {
    const std::string file = inc.file.substr(4);  // below src/
    if (!library.contains(file)) continue;
    std::string target = inc.target;
    if (target.find('/') == std::string::npos)
      target = fs::path(file).parent_path().generic_string() + "/" + target;
    if (target.starts_with("vok/") || library.contains(target)) continue;
    out.push_back(inc.file + ":" + std::to_string(inc.line) + ": the library includes \"" +
                  inc.target + "\", which src/library_sources.txt does not list");
  }
  return out;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += "  " + l + "\n";
  return text;
}

const fs::path kRoot = VOK_SOURCE_DIR;

TEST(Layers, EveryIncludeIsOneItsFolderMayHave) {
  const Table table = read_table(kRoot / "tests/layers/layers.txt");
  ASSERT_FALSE(table.empty());
  const std::vector<std::string> found = violations(kRoot, table);
  EXPECT_TRUE(found.empty()) << joined(found);
}

TEST(Layers, TheLibraryIncludesOnlyItselfAndItsPublicHeaders) {
  ASSERT_FALSE(library_files(kRoot).empty());
  const std::vector<std::string> found = library_leaks(kRoot);
  EXPECT_TRUE(found.empty()) << joined(found);
}

// The checks on a small tree of their own: each planted include is found.
class PlantedTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("vok-layers-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    write("src/library_sources.txt", "# the library\nstats\ndata/descriptive.h\n");
    write("src/stats/chisq.h", "#pragma once\n#include \"vok/vok.h\"\n");
    write("src/stats/chisq.cpp", "#include \"stats/chisq.h\"\n#include \"data/descriptive.h\"\n");
    write("src/data/descriptive.h", "#pragma once\n");
    write("src/report/lines.cpp", "#include \"stats/chisq.h\"\n#include \"lines.h\"\n");
    write("python/src/module.cpp", "#include \"vok/vok.h\"\n");
  }
  void TearDown() override { fs::remove_all(root_); }
  void write(const std::string& file, const std::string& text) {
    fs::create_directories((root_ / file).parent_path());
    std::ofstream(root_ / file) << text;
  }
  fs::path root_;
  const Table table_ = {{"src/stats", {"stats", "data/descriptive.h", "vok"}},
                        {"src/data", {"data"}},
                        {"src/report", {"report", "stats", "vok"}},
                        {"python/src", {"vok"}}};
};

TEST_F(PlantedTree, CleanTreePasses) {
  EXPECT_EQ(violations(root_, table_), std::vector<std::string>{});
  EXPECT_EQ(library_leaks(root_), std::vector<std::string>{});
}

TEST_F(PlantedTree, EachForbiddenIncludeIsNamed) {
  struct Case {
    std::string file, text, expected;
  };
  const std::vector<Case> cases = {
      {"src/stats/chisq.cpp", "#include \"report/lines.h\"\n",
       "src/stats/chisq.cpp:1: includes \"report/lines.h\", which src/stats may not"},
      {"python/src/module.cpp", "#include \"vok/vok.h\"\n  #  include \"stats/chisq.h\"\n",
       "python/src/module.cpp:2: includes \"stats/chisq.h\", which python/src may not"},
      {"src/input/fields.cpp", "#include \"output/x.h\"\n",
       "src/input/fields.cpp: no row of the table"},
  };
  for (const Case& c : cases) {
    SetUp();
    write(c.file, c.text);
    EXPECT_EQ(violations(root_, table_), std::vector<std::string>{c.expected}) << c.file;
  }
}

TEST_F(PlantedTree, ALibraryFileIncludingTheConsolesIsNamed) {
  write("src/stats/chisq.cpp", "#include \"chisq.h\"\n#include \"data/readhead.h\"\n");
  EXPECT_EQ(library_leaks(root_),
            std::vector<std::string>{"src/stats/chisq.cpp:2: the library includes "
                                     "\"data/readhead.h\", which src/library_sources.txt does "
                                     "not list"});
}

}  // namespace
