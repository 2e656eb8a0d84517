// -range and -splits: the ranges of a split plan (or of any byte partition of
// an F or L file) decode, together, exactly what one run decodes, warnings
// with their whole-file record numbers included.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/decode_run.h"
#include "decoder/split_plan.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  std::string out;
  std::string warnings; // standard error without the summary and the hint
  long long read = 0, written = 0, warned = 0;
  int status = 0;
};

class DecodeRange : public testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("vexrange" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    std::ofstream(dir_ / "r.cpy") << "       01  R-REC.\n"
                                     "           05  R-ID    PIC 9(7).\n"
                                     "           05  R-AMT   PIC S9(5) SIGN TRAILING SEPARATE.\n"
                                     "           05  R-NAME  PIC X(4).\n";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // The 17 bytes of record i; every 97th has a bad sign.
  static std::string record(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "%07d%05d%c%-4.4s", i, i % 99999,
                  i % 97 == 5 ? '*' : (i % 2 ? '-' : '+'), i % 3 ? "AB" : "CDEF");
    return std::string(text, 17);
  }
  static std::string half(std::size_t length) {
    return {static_cast<char>(length >> 8), static_cast<char>(length & 0xFF), 0, 0};
  }

  void write(const std::string &name, const std::string &bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  Result run(const std::string &data, DecodeOptions options) {
    options.codePage = "ASCII";
    FrontEndOptions frontEnd;
    frontEnd.messages = nullptr;
    const fs::path out = dir_ / "out";
    testing::internal::CaptureStderr();
    Result result;
    result.status = decodeFiles((dir_ / "r.cpy").string(), frontEnd, options,
                                {(dir_ / data).string()}, out.string());
    std::istringstream err(testing::internal::GetCapturedStderr());
    for (std::string line; std::getline(err, line);) {
      if (std::sscanf(line.c_str(), "vexfcbl-decode: %lld records read, %lld written, %lld with",
                      &result.read, &result.written, &result.warned) == 3)
        continue;
      // A hint is about the whole file, which only the whole run gives.
      if (line.rfind("vexfcbl-decode: hint: ", 0) != 0)
        result.warnings += line + "\n";
    }
    std::ifstream in(out, std::ios::binary);
    result.out.assign(std::istreambuf_iterator<char>(in), {});
    return result;
  }

  // Decodes every range in turn (a range without a first record number gets
  // the one after the records read so far, as vexfcbl-dask numbers L ranges)
  // and expects the sum to be the whole run.
  void expectWhole(const std::string &data, DecodeOptions options,
                   const std::vector<SplitRange> &ranges) {
    const Result whole = run(data, options);
    ASSERT_EQ(whole.status, 0) << whole.warnings;
    Result sum;
    for (const SplitRange &range : ranges) {
      options.range = ByteRange{range.start, range.end,
                                range.firstRecord > 0 ? range.firstRecord : sum.read + 1};
      const Result part = run(data, options);
      ASSERT_EQ(part.status, 0) << part.warnings;
      sum.out += part.out;
      sum.warnings += part.warnings;
      sum.read += part.read;
      sum.written += part.written;
      sum.warned += part.warned;
    }
    EXPECT_EQ(sum.out, whole.out);
    EXPECT_EQ(sum.warnings, whole.warnings);
    EXPECT_EQ(sum.read, whole.read);
    EXPECT_EQ(sum.written, whole.written);
    EXPECT_EQ(sum.warned, whole.warned);
  }

  std::vector<SplitRange> plan(const std::string &data, RecordFormat format, std::int64_t size,
                               std::string *warnings = nullptr) {
    std::string ignored;
    DecodeOptions options;
    options.recordFormat = format;
    return planSplits((dir_ / data).string(), options, 17, size, warnings ? *warnings : ignored);
  }

  fs::path dir_;
};

TEST_F(DecodeRange, FixedAndLinePartitionsAtAnyByteDecodeTheWholeFile) {
  std::string fixed, lines;
  for (int i = 0; i < 150; ++i) {
    fixed += record(i);
    // Lines of 12 to 16 bytes (short ones padded), some ending in CR LF, and empty lines.
    lines += record(i).substr(0, 12 + i % 5) + (i % 7 ? "\n" : "\r\n") + (i % 50 ? "" : "\n");
  }
  write("r.dat", fixed + "12345");
  write("r.txt", lines + "0000001");
  for (const auto &[data, format] :
       {std::pair{"r.dat", RecordFormat::fixed}, std::pair{"r.txt", RecordFormat::lines}}) {
    SCOPED_TRACE(data);
    DecodeOptions options;
    options.recordFormat = format;
    const auto size = static_cast<std::int64_t>(fs::file_size(dir_ / data));
    // Cuts at odd bytes: inside records, on record starts, just before a newline.
    for (const std::int64_t step : {1, 16, 17, 18, 1000}) {
      SCOPED_TRACE(step);
      std::vector<SplitRange> ranges;
      for (std::int64_t at = 0; at < size; at += step)
        ranges.push_back({at, std::min(at + step, size), 0});
      expectWhole(data, options, ranges);
    }
    expectWhole(data, options, plan(data, format, 700));
    // Ranges of several records decoded by two threads.
    options.jobs = 2;
    expectWhole(data, options, plan(data, format, 2000));
  }
}

// Two threads over an F file of several batches: ranges whose ends fall
// inside records in a later batch than their starts, and the bytes around
// the records left out, decode what one thread decodes.
TEST_F(DecodeRange, ThreadsCutFixedRecordsAcrossBatchesAsOneThreadDoes) {
  std::string fixed;
  for (int i = 0; i < 50000; ++i) // 850 000 bytes: seven batches
    fixed += record(i);
  write("big.dat", fixed + "0123456789");
  for (const auto &[skip, trailer] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{3, 27}}) {
    SCOPED_TRACE(std::to_string(skip) + " " + std::to_string(trailer));
    DecodeOptions options;
    options.skipBytes = skip;
    options.skipTrailerBytes = trailer;
    const Result one = run("big.dat", options);
    options.jobs = 2;
    const Result two = run("big.dat", options);
    EXPECT_TRUE(two.out == one.out);
    EXPECT_EQ(two.warnings, one.warnings);
    EXPECT_EQ(two.read, one.read);
    EXPECT_EQ(two.warned, one.warned);
    // The bytes between the skipped ones in records of 17, the last one short.
    EXPECT_EQ(one.read, (850010 - skip - trailer + 16) / 17);
    if (skip == 0 && trailer == 0) {
      std::vector<SplitRange> ranges;
      for (std::int64_t at = 0; at < 850010; at += 300001)
        ranges.push_back({at, std::min<std::int64_t>(at + 300001, 850010), 0});
      expectWhole("big.dat", options, ranges);
    }
  }
}

// Two threads over V and VB files of several batches, mostly records the
// framing finds nothing wrong with and now and then one it warns of (reserved
// bytes set, an invalid word, a record past its block, a cut end): whole and
// in the ranges of a split plan they decode what one thread decodes.
TEST_F(DecodeRange, ThreadsWalkVariableRecordsAcrossBatchesAsOneThreadDoes) {
  std::string variable, blocked, block;
  const int count = 60000; // about 1.3 MB: ten batches
  for (int i = 0; i < count; ++i) {
    std::string word = half(21);
    if (i % 7001 == 100)
      word[3] = 1; // reserved bytes set
    variable += (i == 40000 ? std::string("\0\2\0\0", 4) : "") + word + record(i);
    block += half(21) + record(i);
    if (i % 6 == 5) {
      std::string blockWord = half(i == 30005 ? block.size() : block.size() + 4);
      if (i % 997 == 3)
        blockWord[2] = 1;
      blocked += blockWord + block;
      block.clear();
    }
  }
  write("big.v", variable + half(40) + record(1)); // the last record is cut short
  write("big.vb", blocked + std::string("\0\x30", 2));
  struct Case {
    const char *data;
    RecordFormat format;
    int trailer;
    long long read; // the records, an invalid word and a cut end each count as one
  };
  for (const Case &c : {Case{"big.v", RecordFormat::variable, 0, count + 2},
                        Case{"big.v", RecordFormat::variable, 21, count + 1},
                        Case{"big.vb", RecordFormat::variableBlocked, 0, count + 1}}) {
    SCOPED_TRACE(std::string(c.data) + " " + std::to_string(c.trailer));
    DecodeOptions options;
    options.recordFormat = c.format;
    options.skipTrailerBytes = c.trailer;
    const Result one = run(c.data, options);
    options.jobs = 2;
    const Result two = run(c.data, options);
    EXPECT_TRUE(two.out == one.out);
    EXPECT_EQ(two.warnings, one.warnings);
    EXPECT_EQ(two.read, one.read);
    EXPECT_EQ(two.written, one.written);
    EXPECT_EQ(two.warned, one.warned);
    EXPECT_EQ(one.read, c.read);
    EXPECT_NE(one.warnings.find("reserved bytes"), std::string::npos);
    if (c.trailer == 0)
      for (const std::int64_t size : {100001, 300001})
        expectWhole(c.data, options, plan(c.data, c.format, size));
  }
}

TEST_F(DecodeRange, SplitPlansOfVariableFilesDecodeTheWholeFile) {
  std::string variable, blocked, block;
  for (int i = 0; i < 300; ++i) {
    // A record of another length every 41st, an invalid RDW before every 89th.
    const std::string data = record(i) + (i % 41 == 3 ? "XY" : "");
    variable += (i % 89 == 10 ? std::string("\0\2\0\0", 4) : "") + half(data.size() + 4) + data;
    block += half(data.size() + 4) + data;
    if (i % 6 == 5 || i == 299) {
      // Every 11th block is cut short by its BDW, so its last record runs past it.
      const std::size_t declared = i % 11 == 2 ? block.size() : block.size() + 4;
      blocked += (i % 13 == 4 ? std::string("\0\5\0\0", 4) : "") + half(declared) + block;
      block.clear();
    }
  }
  write("r.v", variable + half(40) + record(1));     // the last record is cut short
  write("r.vb", blocked + std::string("\0\x30", 2)); // so is the last block descriptor
  for (const auto &[data, format] : {std::pair{"r.v", RecordFormat::variable},
                                     std::pair{"r.vb", RecordFormat::variableBlocked}}) {
    SCOPED_TRACE(data);
    DecodeOptions options;
    options.recordFormat = format;
    for (const std::int64_t size : {1, 50, 333, 4000, 1 << 20}) {
      SCOPED_TRACE(size);
      std::string walkWarnings;
      const std::vector<SplitRange> ranges = plan(data, format, size, &walkWarnings);
      EXPECT_EQ(ranges.front().start, 0);
      EXPECT_EQ(ranges.back().end, static_cast<std::int64_t>(fs::file_size(dir_ / data)));
      for (std::size_t i = 1; i < ranges.size(); ++i) {
        EXPECT_EQ(ranges[i].start, ranges[i - 1].end);
        EXPECT_GE(ranges[i - 1].end - ranges[i - 1].start, size);
      }
      expectWhole(data, options, ranges);
      // The walk reports the descriptor problems the decoder reports.
      const Result whole = run(data, options);
      std::istringstream lines(walkWarnings);
      for (std::string line; std::getline(lines, line);)
        EXPECT_NE(whole.warnings.find(line + "\n"), std::string::npos) << line;
      EXPECT_NE(walkWarnings.find("descriptor word"), std::string::npos);
    }
  }
  // Size 1: one range per record (V) or block (VB), an invalid descriptor word
  // and the cut end included.
  const std::vector<SplitRange> records = plan("r.v", RecordFormat::variable, 1);
  ASSERT_EQ(records.size(), 305u);
  EXPECT_EQ(records[12].firstRecord, 13);
  EXPECT_EQ(records[12].start, 21 * 11 + 2 + 4); // after an invalid RDW and the longer record 3
  EXPECT_EQ(plan("r.vb", RecordFormat::variableBlocked, 1).size(), 55u);
}

TEST_F(DecodeRange, RangeMisuseIsRefusedWithAMessage) {
  std::string fixed;
  for (int i = 0; i < 10; ++i)
    fixed += record(i);
  write("r.dat", fixed);
  DecodeOptions options;
  options.range = ByteRange{171, 200, 0};
  Result result = run("r.dat", options);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.warnings.find("r.dat: the range starts at byte 171, beyond the end of the "
                                 "file (170 bytes)"),
            std::string::npos)
      << result.warnings;
  EXPECT_EQ(result.out, "");
  // The end of the file: nothing to decode, not an error; an end beyond it is the end.
  options.range = ByteRange{170, 170, 0};
  result = run("r.dat", options);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.read, 0);
  options.range = ByteRange{150, 1000, 0};
  result = run("r.dat", options);
  EXPECT_EQ(result.read, 1);
  EXPECT_EQ(result.out.substr(0, 20), "{\"R-REC\":{\"R-ID\":9,\"");

  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  const std::string copybook = (dir_ / "r.cpy").string();
  const std::string data = (dir_ / "r.dat").string();
  for (const auto &[files, text] :
       {std::pair{std::vector<std::string>{}, "-range needs exactly one data file"},
        std::pair{std::vector<std::string>{data, data}, "-range needs exactly one data file"}}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(decodeFiles(copybook, frontEnd, options, files, ""), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(text), std::string::npos);
  }
  options.splitSize = 64;
  testing::internal::CaptureStderr();
  EXPECT_EQ(decodeFiles(copybook, frontEnd, options, {data}, ""), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("-range and -splits cannot be combined"),
            std::string::npos);
  options.range.reset();
  testing::internal::CaptureStderr();
  EXPECT_EQ(decodeFiles(copybook, frontEnd, options, {(dir_ / "missing").string()}, ""), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot read"), std::string::npos);
}

TEST_F(DecodeRange, FixedSplitsFallOnRecordStartsAndKnowTheirNumbers) {
  write("r.dat", std::string(17 * 10 + 3, '0'));
  const std::vector<SplitRange> ranges = plan("r.dat", RecordFormat::fixed, 40);
  ASSERT_EQ(ranges.size(), 6u);
  EXPECT_EQ(ranges[1].start, 34);
  EXPECT_EQ(ranges[1].firstRecord, 3);
  EXPECT_EQ(ranges.back().end, 173);
  write("empty", "");
  EXPECT_EQ(plan("empty", RecordFormat::variable, 40).size(), 1u);
  EXPECT_EQ(plan("empty", RecordFormat::lines, 40).front().end, 0);
}

} // namespace
