// The files of a decoding run: inputs checked with the system's reasons, an output that is an
// input refused through links, an output that appears whole or not at all.
#include "decoder/run_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "decoder/progress.h"

namespace {

namespace fs = std::filesystem;

class RunFiles : public testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vexrunfiles-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
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
  // The message RunFileError gives for `run`, or "" when it gives none.
  template <typename Run> static std::string refusal(const Run &run) {
    try {
      run();
    } catch (const RunFileError &error) {
      return error.message;
    }
    return "";
  }

  fs::path dir_;
};

TEST_F(RunFiles, DataFilesAreCheckedWithTheSystemsReasons) {
  put("a.dat", "ABCDEFGH");
  fs::create_directory(dir_ / "folder");
  const std::vector<RunInput> files = checkDataFiles({path("a.dat")}, 5);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].head, "ABCDE");
  EXPECT_EQ(files[0].size, 8);
  EXPECT_TRUE(files[0].regular);
  // Every file that cannot be read is named, each with its reason.
  EXPECT_EQ(refusal([&] { checkDataFiles({path("a.dat"), path("none"), path("folder")}, 5); }),
            "vexfcbl-decode: cannot read " + path("none") +
                ": No such file or directory\n"
                "vexfcbl-decode: cannot read " +
                path("folder") + ": Is a directory\n");
  if (::geteuid() != 0) { // root reads any file
    put("locked.dat", "x");
    ::chmod(path("locked.dat").c_str(), 0);
    EXPECT_EQ(refusal([&] { checkDataFiles({path("locked.dat")}, 5); }),
              "vexfcbl-decode: cannot read " + path("locked.dat") + ": Permission denied\n");
  }
  // A pipe is not read ahead: its bytes would be lost to the decoding.
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  const std::vector<RunInput> piped = checkDataFiles({path("pipe")}, 5);
  EXPECT_FALSE(piped[0].regular);
  EXPECT_EQ(piped[0].size, -1);
  EXPECT_EQ(piped[0].head, "");
}

TEST_F(RunFiles, AnOutputThatIsAnInputIsRefusedThroughLinks) {
  put("a.dat", "data");
  put("rec.cpy", "copybook");
  fs::create_symlink("a.dat", dir_ / "soft.jsonl");
  fs::create_hard_link(dir_ / "rec.cpy", dir_ / "hard.jsonl");
  std::vector<RunInput> inputs = checkDataFiles({path("a.dat")}, 0);
  for (RunInput &copybook : copybookInputs({path("rec.cpy"), path("gone.cpy")}))
    inputs.push_back(std::move(copybook));
  ASSERT_EQ(inputs.size(), 2u);
  const auto refused = [&](const std::string &output) {
    return refusal([&] { DecodeOutput out(path(output), inputs); });
  };
  EXPECT_EQ(refused("a.dat"), "vexfcbl-decode: -o " + path("a.dat") + " is the data file " +
                                  path("a.dat") + ": an input is never overwritten\n");
  EXPECT_EQ(refused("soft.jsonl"), "vexfcbl-decode: -o " + path("soft.jsonl") +
                                       " is the data file " + path("a.dat") +
                                       ": an input is never overwritten\n");
  EXPECT_EQ(refused("hard.jsonl"), "vexfcbl-decode: -o " + path("hard.jsonl") +
                                       " is the copybook " + path("rec.cpy") +
                                       ": an input is never overwritten\n");
  EXPECT_EQ(read("a.dat"), "data");
  EXPECT_EQ(read("rec.cpy"), "copybook");
  EXPECT_EQ(names(), (std::vector<std::string>{"a.dat", "hard.jsonl", "rec.cpy", "soft.jsonl"}));
}

TEST_F(RunFiles, OutputsThatCannotBeWrittenAreRefusedBeforeAnyWrite) {
  fs::create_directory(dir_ / "folder");
  put("file", "x");
  fs::create_symlink("missing", dir_ / "dangling.jsonl");
  const auto refused = [&](const std::string &output) {
    return refusal([&] { DecodeOutput out(output, {}); });
  };
  EXPECT_EQ(refused(path("folder")),
            "vexfcbl-decode: cannot write " + path("folder") + ": Is a directory\n");
  EXPECT_EQ(refused(path("none/out.jsonl")),
            "vexfcbl-decode: cannot write " + path("none/out.jsonl") + ": No such file or directory\n");
  EXPECT_EQ(refused(path("file/out.jsonl")),
            "vexfcbl-decode: cannot write " + path("file/out.jsonl") + ": Not a directory\n");
  EXPECT_EQ(refused(path("dangling.jsonl")),
            "vexfcbl-decode: cannot write " + path("dangling.jsonl") + ": No such file or directory\n");
  EXPECT_EQ(names(), (std::vector<std::string>{"dangling.jsonl", "file", "folder"}));
}

TEST_F(RunFiles, OutputAppearsWholeOnCommitAndNeverBefore) {
  put("out.jsonl", "earlier");
  ::chmod(path("out.jsonl").c_str(), 0640);
  fs::create_symlink("out.jsonl", dir_ / "link.jsonl");
  {
    DecodeOutput out(path("link.jsonl"), {});
    std::fputs("new records\n", out.stream());
    std::fflush(out.stream());
    // Written, even flushed, but not in place: the earlier file is what a
    // reader sees, and nothing else shows in the folder.
    EXPECT_EQ(read("out.jsonl"), "earlier");
    EXPECT_EQ(names(), (std::vector<std::string>{"link.jsonl", "out.jsonl"}));
    out.commit();
  }
  EXPECT_EQ(read("out.jsonl"), "new records\n");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.jsonl"));
  EXPECT_EQ(fs::status(dir_ / "out.jsonl").permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    DecodeOutput out(path("new.jsonl"), {});
    std::fputs(std::string(3 << 20, 'x').c_str(), out.stream());
    EXPECT_FALSE(fs::exists(dir_ / "new.jsonl"));
    out.commit();
  }
  EXPECT_EQ(fs::file_size(dir_ / "new.jsonl"), 3u << 20);
  EXPECT_EQ(names(), (std::vector<std::string>{"link.jsonl", "new.jsonl", "out.jsonl"}));
}

TEST_F(RunFiles, AnAbandonedOutputLeavesTheEarlierFileAndNothingElse) {
  put("out.jsonl", "earlier");
  {
    DecodeOutput out(path("out.jsonl"), {});
    std::fputs(std::string(2 << 20, 'x').c_str(), out.stream());
  }
  {
    DecodeOutput out(path("never.jsonl"), {});
    std::fputs("abandoned", out.stream());
  }
  EXPECT_EQ(read("out.jsonl"), "earlier");
  EXPECT_EQ(names(), std::vector<std::string>{"out.jsonl"});
}

TEST_F(RunFiles, DevicesAreWrittenIntoAndTheirFailuresReported) {
  {
    DecodeOutput out("/dev/null", {});
    std::fputs("gone", out.stream());
    out.commit();
  }
  struct stat null {};
  ASSERT_EQ(::stat("/dev/null", &null), 0);
  EXPECT_TRUE(S_ISCHR(null.st_mode));
  if (!fs::exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full to fill";
  DecodeOutput full("/dev/full", {});
  std::fputs("no room", full.stream());
  EXPECT_EQ(refusal([&] { full.commit(); }),
            "vexfcbl-decode: cannot write /dev/full: No space left on device\n");
  EXPECT_EQ(full.failure(), "vexfcbl-decode: cannot write /dev/full: No space left on device\n");
}

TEST(DecodeProgressText, BytesRecordsSpeedAndTimeLeft) {
  EXPECT_EQ(DecodeProgress::text(250'000'000, 1'000'000'000, 2'500'000, 2.0),
            "vexfcbl-decode: 250.0 MB of 1.00 GB (25%), 2500000 records, 125.0 MB/s, 0:06 left");
  EXPECT_EQ(DecodeProgress::text(3'000'000'000, 9'000'000'000, 7, 20.0),
            "vexfcbl-decode: 3.00 GB of 9.00 GB (33%), 7 records, 150.0 MB/s, 0:40 left");
  EXPECT_EQ(DecodeProgress::text(1'000'000, 10'801'000'000, 1, 1.0),
            "vexfcbl-decode: 1.0 MB of 10.80 GB (0%), 1 records, 1.0 MB/s, 3:00:00 left");
  // A pipe: no total, so no share and no time left.
  EXPECT_EQ(DecodeProgress::text(52'400'000, -1, 100, 4.0),
            "vexfcbl-decode: 52.4 MB, 100 records, 13.1 MB/s");
}

} // namespace
