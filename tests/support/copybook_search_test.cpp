// Tests copybook lookup order, cached listings, ./ hits, path helpers, use before start.
#include <climits>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/copybook_search.h"
#include "support/path_names.h"
#include "support/run_state.h"

namespace {

namespace fs = std::filesystem;

// A scratch directory tree and a run of its own, whose search starts empty
// and case-insensitive as the driver's does.
class CopybookSearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/rfsearchXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    savedCwd = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(savedCwd);
    fs::remove_all(root);
  }
  // Creates each path under root: a directory when it ends in "/", else a copybook.
  void Make(std::initializer_list<std::string> paths) {
    for (const std::string &path : paths) {
      fs::create_directories(fs::path(root + "/" + path).parent_path());
      if (path.back() != '/')
        std::ofstream(root + "/" + path) << "       01  REC PIC X.\n";
    }
  }
  // -e options in the order given, then the driver's own additions.
  void DriverExtensions(const std::vector<std::string> &options) {
    for (const std::string &option : options)
      rAddExtension(option.c_str());
    rAddExtension(".cpy");
    rAddExtension("");
  }
  std::string Find(const std::string &name) {
    const char *path = rFindFile(name.c_str());
    return path == nullptr ? "-" : path;
  }

  RunState run;
  RunState::Scope scope{run};
  std::string root;
  fs::path savedCwd;
};

// The cases of data/search.txt, each in a directory of its own under root.
TEST_F(CopybookSearchTest, FindsByDirectoryAndExtensionOrder) {
  std::ifstream data(std::string(VEX_SOURCE_DIR) + "/tests/support/data/search.txt");
  ASSERT_TRUE(data);
  std::string top = root, line, what;
  std::vector<std::string> dirs, options;
  bool sensitive = false, unread = false, ready = false;
  int cases = 0;
  while (std::getline(data, line)) {
    std::istringstream words(line);
    std::string word, name, expected;
    words >> word;
    if (word == "==") {
      root = top + "/case" + std::to_string(++cases);
      what = line.substr(3);
      dirs.clear();
      options.clear();
      sensitive = unread = ready = false;
    } else if (word == "files")
      while (words >> name)
        Make({name});
    else if (word == "dirs" || word == "options")
      while (words >> name)
        (word == "dirs" ? dirs : options).push_back(name);
    else if (word == "sensitive" || word == "unread")
      (word == "sensitive" ? sensitive : unread) = true;
    else if (word == "find" && words >> name >> expected) {
      if (!ready) {
        Close_rFsearch();
        Begin_rFsearch(sensitive);
        for (const std::string &dir : dirs)
          rAddDir((root + "/" + dir).c_str(), 0, true);
        DriverExtensions(options);
        if (!unread)
          rReadAllDirs();
        ready = true;
      }
      EXPECT_EQ(Find(name[0] == '/' ? root + name : name),
                expected == "-" ? expected : root + "/" + expected)
          << what << ": " << name;
    }
  }
  EXPECT_EQ(cases, 9);
  root = top;
}

TEST_F(CopybookSearchTest, ListingsAreCachedForTheRunAndARestartForgetsThem) {
  Make({"d/rec.cpy", "e/sub/rec.cpy"});
  std::string d = root + "/d", e = root + "/e";
  fs::current_path(root); // the built-in directory of an empty list
  rAddDir((root + "/nowhere").c_str(), 0, true);
  rAddDir(d.c_str(), 0, true);
  rAddDir(e.c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), d + "/rec.cpy");
  EXPECT_EQ(Find("sub/rec"), e + "/sub/rec.cpy");
  Make({"d/sub/rec.cpy"});
  EXPECT_EQ(Find("sub/rec"), e + "/sub/rec.cpy") << "listings are cached for the run";
  {
    RunState other;
    RunState::Scope inner(other);
    EXPECT_EQ(Find("rec"), "-") << "another run has a search of its own";
    rAddDir(d.c_str(), 0, true);
    DriverExtensions({});
    rReadAllDirs();
    EXPECT_EQ(Find("sub/rec"), d + "/sub/rec.cpy");
  }
  EXPECT_EQ(Find("sub/rec"), e + "/sub/rec.cpy") << "the first run's cache is untouched";
  Begin_rFsearch(false);
  EXPECT_EQ(Find("rec"), "-") << "a restart forgets directories and extensions";
  rAddDir(d.c_str(), 0, true);
  rReadAllDirs();
  EXPECT_EQ(Find("sub/rec.cpy"), d + "/sub/rec.cpy");
}

TEST_F(CopybookSearchTest, CurrentDirectoryHitsComeWithoutDotSlash) {
  Make({"rec.cpy", "sub/item.cpy"});
  fs::current_path(root);
  DriverExtensions({});
  EXPECT_EQ(Find("rec"), "rec.cpy") << "empty directory list: the built-in current directory";
  rAddDir("./", 0, true);
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), "rec.cpy");
  EXPECT_EQ(Find("sub/item"), "sub/item.cpy");
  EXPECT_EQ(Find(".\\rec"), "rec.cpy");
}

TEST_F(CopybookSearchTest, FrontInsertionAndEmptyExtensionList) {
  Make({"d1/rec", "d2/rec", "d2/rec.cpy"});
  rAddDir((root + "/d1").c_str(), 0, true);
  rAddDir((root + "/d2").c_str(), 0, false);
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), root + "/d2/rec") << "no extensions: the bare name only";
  rAddExtension(".cpy");
  EXPECT_EQ(Find("rec"), root + "/d2/rec.cpy");
}

TEST(PathHelpersTest, SplitAndNormalise) {
  EXPECT_EQ(rBaseName("a/b/rec.cpy"), "rec.cpy");
  EXPECT_EQ(rBaseName("rec"), "rec");
  EXPECT_EQ(rDirName("a/b/rec.cpy"), "a/b/");
  EXPECT_EQ(rDirName("rec"), "");
  EXPECT_EQ(rDirName("/rec"), "/");
  EXPECT_EQ(rReplaceDirSeparator("a\\b\\c"), "a/b/c");
}

} // namespace
