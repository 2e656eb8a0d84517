// -j N gives the same output and warnings as one thread, over files longer than one batch.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "decoder/decode_run.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  std::string out;
  std::string err;
  int status;
};

Result run(const fs::path &dir, const std::string &data, RecordFormat format, int jobs) {
  DecodeOptions options;
  options.codePage = "ASCII";
  options.recordFormat = format;
  options.jobs = jobs;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  const fs::path out = dir / ("out" + std::to_string(jobs));
  testing::internal::CaptureStderr();
  const int status = decodeFiles((dir / "j.cpy").string(), frontEnd, options,
                                 {(dir / data).string()}, out.string());
  Result result{"", testing::internal::GetCapturedStderr(), status};
  std::ifstream in(out, std::ios::binary);
  result.out.assign(std::istreambuf_iterator<char>(in), {});
  return result;
}

TEST(DecodeJobs, ThreeThreadsWriteWhatOneWrites) {
  const fs::path dir = fs::temp_directory_path() / ("vexjobs" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "j.cpy") << "       01  J-REC.\n"
                                  "           05  J-ID    PIC 9(7).\n"
                                  "           05  J-AMT   PIC S9(5) SIGN TRAILING SEPARATE.\n"
                                  "           05  J-NAME  PIC X(4).\n";
  // 16-byte records: 1.7 million of them are more than one batch of three
  // threads; every 99 991st carries a bad sign, the last one is cut short.
  {
    std::ofstream fixed(dir / "j.dat", std::ios::binary);
    std::ofstream lines(dir / "j.txt", std::ios::binary);
    char record[32];
    for (int i = 0; i < 1700000; ++i) {
      std::snprintf(record, sizeof record, "%07d%05d%c%-4.4s", i, i % 99999,
                    i % 99991 == 7 ? '*' : (i % 2 ? '-' : '+'), i % 3 ? "AB" : "CDEF");
      fixed.write(record, 16);
      // Lines of varying length; short ones are padded, some end in CR LF.
      lines.write(record, 12 + i % 5);
      lines << (i % 7 ? "\n" : "\r\n");
    }
    fixed.write("1234", 4);
  }
  for (const auto &[data, format] :
       {std::pair{"j.dat", RecordFormat::fixed}, std::pair{"j.txt", RecordFormat::lines}}) {
    SCOPED_TRACE(data);
    const Result one = run(dir, data, format, 1);
    const Result three = run(dir, data, format, 3);
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(three.status, one.status);
    EXPECT_GT(one.out.size(), 50'000'000u);
    EXPECT_TRUE(three.out == one.out); // not EXPECT_EQ: no 50 MB diff on failure
    EXPECT_EQ(three.err, one.err);
    EXPECT_NE(one.err.find("invalid zoned decimal"), std::string::npos);
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

} // namespace
