// Tests putting a document in place: whole replacement, links, modes, outputs
// that are left alone or written into, and nothing left beside the output.
#include "model/document_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/library_error.h"

namespace {

namespace fs = std::filesystem;

class DocumentFile : public testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vexdoc-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  void put(const std::string &name, const std::string &text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string read(const std::string &name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto &entry : fs::directory_iterator(dir_))
      found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
  static bool written(const std::string &output, const std::string &text) {
    VexDocumentFile document(output);
    document.write(text);
    return document.commit();
  }

  fs::path dir_;
};

TEST_F(DocumentFile, ExistingOutputIsReplacedWholeKeepingItsModeAndLinksToIt) {
  put("out.gnv", std::string(100000, 'o'));
  ::chmod(path("out.gnv").c_str(), 0640);
  fs::create_symlink("out.gnv", dir_ / "link.gnv");
  // A hard link keeps the old document: the output is a new file in its place.
  fs::create_hard_link(dir_ / "out.gnv", dir_ / "hard.gnv");
  ASSERT_TRUE(written(path("link.gnv"), "new"));
  EXPECT_EQ(read("out.gnv"), "new");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.gnv"));
  EXPECT_EQ(fs::status(dir_ / "out.gnv").permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(read("hard.gnv").size(), 100000u);
  EXPECT_EQ(names(), (std::vector<std::string>{"hard.gnv", "link.gnv", "out.gnv"}));
}

// A link to an output on another file system: the spool, made beside the
// link, cannot be renamed there, so the document is copied beside the target
// and renamed over it; the target keeps its mode, nothing is left in either
// folder.
TEST_F(DocumentFile, OutputOnAnotherFileSystemIsReplacedThroughACopy) {
  const fs::path other = "/dev/shm";
  struct stat here {}, there {};
  if (::stat(dir_.c_str(), &here) != 0 || ::stat(other.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev)
    GTEST_SKIP() << "no second file system at " << other;
  std::string pattern = (other / "vexdoc-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path far = pattern;
  std::ofstream(far / "out.gnv", std::ios::binary) << "old";
  ::chmod((far / "out.gnv").c_str(), 0604);
  fs::create_symlink(far / "out.gnv", dir_ / "link.gnv");
  const std::string document(300000, 'n');
  const bool placed = written(path("link.gnv"), document);
  std::ifstream in(far / "out.gnv", std::ios::binary);
  const std::string result((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto mode = fs::status(far / "out.gnv").permissions() & fs::perms::mask;
  std::vector<std::string> farNames;
  for (const auto &entry : fs::directory_iterator(far))
    farNames.push_back(entry.path().filename().string());
  fs::remove_all(far);
  ASSERT_TRUE(placed);
  EXPECT_TRUE(result == document) << result.size() << " bytes";
  EXPECT_EQ(mode, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  EXPECT_EQ(farNames, std::vector<std::string>{"out.gnv"});
  EXPECT_EQ(names(), std::vector<std::string>{"link.gnv"});
}

// Two runs writing one output at once: whichever puts its document in place
// last wins, and the output is never a mixture of both.
TEST_F(DocumentFile, InterleavedDocumentsNeverMix) {
  put("out.gnv", "old");
  VexDocumentFile first(path("out.gnv")), second(path("out.gnv"));
  first.write(std::string(70000, 'a'));
  second.write(std::string(50000, 'b'));
  first.write("A");
  second.write("B");
  ASSERT_TRUE(first.commit());
  EXPECT_EQ(read("out.gnv"), std::string(70000, 'a') + "A");
  ASSERT_TRUE(second.commit());
  EXPECT_EQ(read("out.gnv"), std::string(50000, 'b') + "B");
  EXPECT_EQ(names(), std::vector<std::string>{"out.gnv"});
}

TEST_F(DocumentFile, UnwritableOutputsAreLeftAloneAndDevicesWrittenInto) {
  fs::create_directory(dir_ / "folder.gnv");
  EXPECT_FALSE(written(path("folder.gnv"), "doc"));
  EXPECT_FALSE(written(path("missing/out.gnv"), "doc"));
  if (::geteuid() != 0) { // root may write any file
    put("locked.gnv", "locked");
    ::chmod(path("locked.gnv").c_str(), 0444);
    EXPECT_FALSE(written(path("locked.gnv"), "doc"));
    EXPECT_EQ(read("locked.gnv"), "locked");
  }
  // A device is written into, never replaced by a file.
  EXPECT_TRUE(written("/dev/null", "doc"));
  struct stat null {};
  ASSERT_EQ(::stat("/dev/null", &null), 0);
  EXPECT_TRUE(S_ISCHR(null.st_mode));
  EXPECT_TRUE(fs::is_empty(dir_ / "folder.gnv"));
}

TEST_F(DocumentFile, AbandonedDocumentLeavesNothing) {
  put("out.gnv", "old");
  {
    VexDocumentFile document(path("out.gnv"));
    document.write(std::string(1 << 20, 'x'));
  }
  {
    VexDocumentFile document(path("new.gnv"));
    document.write("never committed");
  }
  EXPECT_EQ(read("out.gnv"), "old");
  EXPECT_EQ(names(), std::vector<std::string>{"out.gnv"});
}

// Documents past the size at which the spool's pages are made ready ahead
// of them: every byte as written, nothing after the last one, whichever way
// the document is put in place, and nothing left when it is abandoned.
TEST_F(DocumentFile, LargeDocumentsKeepExactlyTheirBytes) {
  std::string expected;
  std::uint32_t seed = 7;
  VexDocumentFile fresh(path("new.gnv"));
  put("old.gnv", "old");
  VexDocumentFile replacing(path("old.gnv"));
  // Written behind instead of prefilled: the same bytes, new or replacing.
  VexDocumentFile behind(path("behind.gnv"), VexDocumentFile::Pace::writeBehind);
  put("old-behind.gnv", "old");
  VexDocumentFile replacingBehind(path("old-behind.gnv"), VexDocumentFile::Pace::writeBehind);
  while (expected.size() < (48u << 20)) {
    seed = seed * 1103515245u + 12345u;
    std::string piece((seed >> 8) % 200000 + 1, static_cast<char>('a' + seed % 26));
    fresh.write(piece);
    replacing.write(piece);
    behind.write(piece);
    replacingBehind.write(piece);
    expected += piece;
  }
  {
    VexDocumentFile abandoned(path("gone.gnv"));
    abandoned.write(expected);
  }
  ASSERT_TRUE(fresh.commit());
  ASSERT_TRUE(replacing.commit());
  ASSERT_TRUE(behind.commit());
  ASSERT_TRUE(replacingBehind.commit());
  for (const char *name : {"new.gnv", "old.gnv", "behind.gnv", "old-behind.gnv"})
    EXPECT_TRUE(read(name) == expected) << name << ": " << read(name).size() << " bytes";
  EXPECT_EQ(names(),
            (std::vector<std::string>{"behind.gnv", "new.gnv", "old-behind.gnv", "old.gnv"}));
}

// A file size limit below the document: the document's own write meets it
// where the limit is (40 MB: 640 pieces of 64 KB), and nothing written ahead
// of the document reaches it first, which would end the process early.
TEST_F(DocumentFile, FileSizeLimitMetWhereTheDocumentReachesIt) {
  for (const bool signalIgnored : {false, true}) {
    int counted[2];
    ASSERT_EQ(::pipe(counted), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(counted[0]);
      const struct rlimit limit {40 << 20, 40 << 20};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      std::signal(SIGXFSZ, signalIgnored ? SIG_IGN : SIG_DFL);
      try {
        VexDocumentFile document(path("limited.gnv"));
        const std::string piece(64 << 10, 'x');
        for (int i = 0; i < 1000; ++i) {
          document.write(piece);
          (void)!::write(counted[1], "+", 1);
        }
      } catch (const VexError &error) {
        const std::string message = "|" + error.getErrorMessage();
        (void)!::write(counted[1], message.data(), message.size());
      } catch (...) {
      }
      ::_exit(0);
    }
    ::close(counted[1]);
    std::string report;
    char buffer[256];
    for (ssize_t got; (got = ::read(counted[0], buffer, sizeof buffer)) > 0;)
      report.append(buffer, static_cast<std::size_t>(got));
    ::close(counted[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(std::count(report.begin(), report.end(), '+'), 640) << report.size();
    if (signalIgnored) {
      EXPECT_TRUE(WIFEXITED(status));
      EXPECT_EQ(report.substr(640), "|XML write: cannot write the document: File too large");
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
      EXPECT_EQ(report.size(), 640u);
    }
  }
  EXPECT_TRUE(names().empty());
}

} // namespace
