#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>

#include "reuse/rFsearch.h"
#include "reuse/rString.h"

namespace {

namespace fs = std::filesystem;

// A scratch directory tree; the search is started the way the driver does.
class CopybookSearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/rfsearchXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    savedCwd = cwd;
    Close_rFsearch();
    Begin_rFsearch(false);
  }
  void TearDown() override {
    Close_rFsearch();
    EXPECT_EQ(chdir(savedCwd.c_str()), 0);
    fs::remove_all(root);
  }

  std::string Dir(const std::string &name) {
    std::string path = root + "/" + name;
    fs::create_directories(path);
    return path;
  }
  void File(const std::string &relative) {
    fs::create_directories(fs::path(root + "/" + relative).parent_path());
    std::ofstream(root + "/" + relative) << "       01  REC PIC X.\n";
  }
  // -e options in the order given, then the driver's own additions.
  void DriverExtensions(std::initializer_list<const char *> options) {
    for (const char *option : options)
      rAddExtension(option);
    rAddExtension(".cpy");
    rAddExtension("");
  }
  std::string Find(const char *name) {
    const char *path = rFindFile(name);
    return path == nullptr ? std::string("<none>") : std::string(path);
  }

  std::string root;
  std::string savedCwd;
};

TEST_F(CopybookSearchTest, DirectoriesInOrderThenBareNameCpyAndOptionsLastFirst) {
  std::string d1 = Dir("d1"), d2 = Dir("d2");
  File("d1/rec.cob");
  File("d1/rec.txt");
  File("d2/rec");
  File("d2/other.cpy");
  rAddDir(d1.c_str(), 0, true);
  rAddDir(d2.c_str(), 0, true);
  DriverExtensions({".cob", ".txt"});
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), d1 + "/rec.txt") << "the last -e extension is tried first, and d1 before d2";
  EXPECT_EQ(Find("other"), d2 + "/other.cpy");
  EXPECT_EQ(Find("missing"), "<none>");
}

TEST_F(CopybookSearchTest, BareNameBeatsCpyAndCpyBeatsOptions) {
  std::string d = Dir("d");
  File("d/rec");
  File("d/rec.cpy");
  File("d/lay.cpy");
  File("d/lay.inc");
  rAddDir(d.c_str(), 0, true);
  DriverExtensions({".inc"});
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), d + "/rec");
  EXPECT_EQ(Find("lay"), d + "/lay.cpy");
}

TEST_F(CopybookSearchTest, CaseInsensitiveMatchReturnsTheNameAsListed) {
  std::string d = Dir("d");
  File("d/custrec.CPY");
  rAddDir((d + "/").c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("CUSTREC"), d + "/custrec.CPY");
  EXPECT_EQ(Find("CustRec"), d + "/custrec.CPY");
}

TEST_F(CopybookSearchTest, UnreadDirectoryTriesCaseVariantsOfTheName) {
  std::string d = Dir("d");
  File("d/CUSTREC.CPY");
  File("d/Lower.cpy");
  rAddDir(d.c_str(), 0, true);
  DriverExtensions({});
  EXPECT_EQ(Find("custrec"), d + "/CUSTREC.CPY");
  EXPECT_EQ(Find("LOWER"), d + "/Lower.cpy");
}

TEST_F(CopybookSearchTest, CaseSensitiveSearchNeedsTheExactName) {
  Close_rFsearch();
  Begin_rFsearch(true);
  EXPECT_TRUE(rGetCaseSensitive());
  std::string d = Dir("d");
  File("d/custrec.cpy");
  rAddDir(d.c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("CUSTREC"), "<none>");
  EXPECT_EQ(Find("custrec"), d + "/custrec.cpy");
}

TEST_F(CopybookSearchTest, MissingDirectoryIsSkippedAndATwiceGivenOneSearchedTwice) {
  std::string d = Dir("d");
  File("d/rec.cpy");
  rAddDir((root + "/nowhere").c_str(), 0, true);
  rAddDir(d.c_str(), 1, true);
  rAddDir(d.c_str(), 2, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), d + "/rec.cpy");
  rDeleteDirs(1);
  EXPECT_EQ(Find("rec"), d + "/rec.cpy") << "the second entry of the same directory is still there";
  rDeleteDirs(2);
  EXPECT_EQ(Find("rec"), "<none>");
}

TEST_F(CopybookSearchTest, MissingDirectoryFoundUnderAnotherCaseThroughItsParent) {
  Dir("Books");
  File("Books/rec.cpy");
  rAddDir((root + "/BOOKS").c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), root + "/Books/rec.cpy");
}

TEST_F(CopybookSearchTest, NonReadableEntryEndsTheSearchInThatDirectory) {
  std::string d1 = Dir("d1"), d2 = Dir("d2");
  Dir("d1/rec"); // a directory, not a copybook
  File("d1/rec.cpy");
  File("d2/rec.cpy");
  rAddDir(d1.c_str(), 0, true);
  rAddDir(d2.c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), d2 + "/rec.cpy");
}

TEST_F(CopybookSearchTest, NameWithDirectoryPartIsLookedUpUnderEachDirectory) {
  std::string d1 = Dir("d1"), d2 = Dir("d2");
  File("d2/sub/rec.cpy");
  File("d2/Deep/Sub/item");
  rAddDir(d1.c_str(), 0, true);
  rAddDir(d2.c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find("sub/rec"), d2 + "/sub/rec.cpy");
  EXPECT_EQ(Find("sub\\rec"), d2 + "/sub/rec.cpy");
  EXPECT_EQ(Find("deep/sub/ITEM"), d2 + "/Deep/Sub/item");
  File("d1/sub/rec.cpy");
  EXPECT_EQ(Find("sub/rec"), d2 + "/sub/rec.cpy") << "listings are cached for the run";
  rDeleteAllDirs();
  rAddDir(d1.c_str(), 0, true);
  rAddDir(d2.c_str(), 0, true);
  rReadAllDirs();
  EXPECT_EQ(Find("sub/rec"), d1 + "/sub/rec.cpy");
}

TEST_F(CopybookSearchTest, AbsoluteNameIsSearchedOnlyAsItsPath) {
  std::string d = Dir("d");
  File("abs/rec.cpy");
  File("d/rec.cpy");
  rAddDir(d.c_str(), 0, true);
  DriverExtensions({});
  rReadAllDirs();
  EXPECT_EQ(Find((root + "/abs/rec").c_str()), root + "/abs/rec.cpy");
  EXPECT_EQ(Find((root + "/nowhere/rec").c_str()), "<none>");
}

TEST_F(CopybookSearchTest, CurrentDirectoryHitsComeWithoutDotSlash) {
  File("rec.cpy");
  File("sub/item.cpy");
  ASSERT_EQ(chdir(root.c_str()), 0);
  DriverExtensions({});
  EXPECT_EQ(Find("rec"), "rec.cpy") << "empty directory list: the built-in current directory";
  rAddDir("./", 0, true);
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), "rec.cpy");
  EXPECT_EQ(Find("sub/item"), "sub/item.cpy");
  EXPECT_EQ(Find(".\\rec"), "rec.cpy");
}

TEST_F(CopybookSearchTest, FrontInsertionAndEmptyExtensionList) {
  std::string d1 = Dir("d1"), d2 = Dir("d2");
  File("d1/rec");
  File("d2/rec");
  File("d2/rec.cpy");
  rAddDir(d1.c_str(), 0, true);
  rAddDir(d2.c_str(), 0, false);
  rReadAllDirs();
  EXPECT_EQ(Find("rec"), d2 + "/rec") << "no extensions: the bare name only";
  rAddExtension(".cpy");
  EXPECT_EQ(Find("rec"), d2 + "/rec.cpy");
  rDeleteExtensions();
  rDeleteDirs(0);
  EXPECT_EQ(Find("rec"), "<none>");
}

TEST_F(CopybookSearchTest, FileSystemHelpers) {
  std::string d = Dir("d");
  File("d/a.cpy");
  Dir("d/sub");
  EXPECT_TRUE(rFileIsReadable((d + "/a.cpy").c_str()));
  EXPECT_FALSE(rFileIsReadable(d.c_str()));
  EXPECT_FALSE(rFileIsReadable((d + "/none").c_str()));
  EXPECT_TRUE(rDirIsReadable(d.c_str()));
  EXPECT_FALSE(rDirIsReadable((d + "/a.cpy").c_str()));
  EXPECT_TRUE(rDirOrFileExists((d + "/sub").c_str()));
  EXPECT_FALSE(rDirOrFileExists((d + "/none").c_str()));

  std::set<std::string> names;
  rFileSystemDir *dir = rOpenFileSystemDir(d.c_str());
  ASSERT_NE(dir, nullptr);
  while (const char *name = rNextFileSystemEntry(dir))
    names.insert(name);
  rCloseFileSystemDir(dir);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.cpy", "sub"}));
  EXPECT_EQ(rOpenFileSystemDir((d + "/none").c_str()), nullptr);
}

TEST(PathHelpersTest, SplitAndNormalise) {
  EXPECT_EQ(rBaseName("a/b/rec.cpy"), "rec.cpy");
  EXPECT_EQ(rBaseName("rec"), "rec");
  EXPECT_EQ(rDirName("a/b/rec.cpy"), "a/b/");
  EXPECT_EQ(rDirName("rec"), "");
  EXPECT_EQ(rDirName("/rec"), "/");
  EXPECT_EQ(rDirBaseName("a/b/c/"), "c");
  EXPECT_EQ(rDirBaseName("a/b/c"), "c");
  EXPECT_EQ(rDirBaseName("/"), "/");
  EXPECT_EQ(rReplaceDirSeparator("a\\b\\c"), "a/b/c");
}

TEST(CopybookSearchStartTest, UseBeforeBeginIsAProgramError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Close_rFsearch();
  EXPECT_DEATH(rFindFile("rec"), "rFindFile called before Begin_rFsearch");
}

} // namespace
