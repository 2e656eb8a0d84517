// diagnose() on copybook text and data bytes in memory: bytes written here by hand from IBM's
// storage rules (EBCDIC letters C1..., packed digits with a C/D/F sign nibble, RDWs), never
// by the decoder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/diagnose.h"
#include "frontend/front_end.h"
#include "record/model_builder.h"
#include "support/run_state.h"

namespace {

// The record model of fixed-format copybook `lines` (seven blanks added to each).
RecordModel modelOf(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines)
    text += "       " + line + "\n";
  FrontEndOptions options;
  options.messages = nullptr;
  FrontEndResult parsed = ParseCopybookText(SourceText{"T.cpy", text}, options);
  RunState::Scope scope(parsed.run());
  EXPECT_EQ(parsed.errorCount(), 0);
  VexCblConfig config;
  return buildRecordModel(parsed.entries(), config);
}

DataSample sampleOf(const std::string &bytes) {
  return DataSample{static_cast<std::int64_t>(bytes.size()), {DataChunk{0, bytes}}};
}

// 01 R: A PIC X(3), N PIC S9(3) COMP-3: 5 bytes. "ABC" is C1 C2 C3 in IBM037;
// +123 packed is 12 3C, -45 is 04 5D.
const std::vector<std::string> small = {"01  R.", "    05  A  PIC X(3).",
                                        "    05  N  PIC S9(3) COMP-3."};
std::string smallRecord(int i) {
  const std::string letters = "\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9";
  std::string r = letters.substr(static_cast<std::size_t>(i % 7), 3);
  r += i % 2 == 0 ? std::string("\x12\x3C", 2) : std::string("\x04\x5D", 2);
  return r;
}

TEST(Diagnose, LittleEndianDescriptorWordsThatLeaveOutTheirOwnLength) {
  std::string data;
  for (int i = 0; i < 60; ++i)
    data += std::string("\x05\x00\x00\x00", 4) + smallRecord(i); // 5 data bytes, little-endian
  const Diagnosis d = diagnose(modelOf(small), sampleOf(data), DiagnoseSettings{});
  ASSERT_FALSE(d.hypotheses.empty());
  const Hypothesis &best = d.hypotheses.front();
  EXPECT_EQ(best.options(d.layoutLength),
            (std::vector<std::string>{"-recfm", "V", "-rdw", "little", "-rdw-adjust", "4"}));
  EXPECT_EQ(best.records, 60);
  EXPECT_EQ(best.warned, 0);
  EXPECT_TRUE(d.fits);
}

TEST(Diagnose, HeaderLongerThanARecordIsSkippedWhole) {
  // 12 header bytes: two records' worth and 2 more; the records behind it are aligned at 12.
  std::string data = std::string(12, '\x00');
  for (int i = 0; i < 50; ++i)
    data += smallRecord(i);
  const Diagnosis d = diagnose(modelOf(small), sampleOf(data), DiagnoseSettings{});
  EXPECT_EQ(d.hypotheses.front().options(d.layoutLength),
            (std::vector<std::string>{"-skip-bytes", "12"}));
  EXPECT_TRUE(d.fits);
}

TEST(Diagnose, TypeFieldGivesWhenRules) {
  // 01 H: HT X, HN 9(5) (zoned F0-F9); 01 D: DT X, DP S9(9) COMP-3 (5 bytes). Both 6 bytes.
  const RecordModel model =
      modelOf({"01  H.", "    05  HT  PIC X.", "    05  HN  PIC 9(5).", "01  D.",
               "    05  DT  PIC X.", "    05  DP  PIC S9(9) COMP-3."});
  std::string data;
  const char *order = "HDDDHDDHDDDDHDHDDDHDDDDDHDDHDDDDHDDDHDDDDDH";
  for (const char *c = order; *c != '\0'; ++c)
    data += *c == 'H' ? std::string("\xC8\xF0\xF1\xF2\xF3\xF4", 6)  // H 01234
                      : std::string("\xC4\x00\x12\x34\x56\x7C", 6); // D +001234567
  const Diagnosis d = diagnose(model, sampleOf(data), DiagnoseSettings{});
  const Hypothesis &best = d.hypotheses.front();
  ASSERT_EQ(best.rules.size(), 2u);
  EXPECT_EQ(best.rules[0].field + "=" + best.rules[0].value + ":" + best.rules[0].target, "HT=D:D");
  EXPECT_EQ(best.rules[1].field + "=" + best.rules[1].value + ":" + best.rules[1].target, "HT=H:H");
  EXPECT_EQ(best.warned, 0);
}

TEST(Diagnose, OneRecordTypeGivesRecord) {
  const RecordModel model =
      modelOf({"01  H.", "    05  HT  PIC X.", "    05  HN  PIC 9(5).", "01  D.",
               "    05  DT  PIC X.", "    05  DP  PIC S9(9) COMP-3."});
  std::string data;
  for (int i = 0; i < 30; ++i)
    data += std::string("\xC4\x00\x12\x34\x56\x7D", 6); // D -001234567: no zoned digits in HN
  const Diagnosis d = diagnose(model, sampleOf(data), DiagnoseSettings{});
  EXPECT_EQ(d.hypotheses.front().options(d.layoutLength),
            (std::vector<std::string>{"-record", "D"}));
}

TEST(Diagnose, NegativeSignInAnUnsignedPackedFieldIsInvalid) {
  // U PIC 9(3) COMP-3 takes F (or C) as its sign nibble; D (minus) is no value of it.
  const RecordModel model =
      modelOf({"01  R.", "    05  A  PIC X(3).", "    05  U  PIC 9(3) COMP-3."});
  std::string data;
  for (int i = 0; i < 40; ++i)
    data += "\xC1\xC2\xC3" + (i % 4 == 0 ? std::string("\x12\x3D", 2) : std::string("\x12\x3F", 2));
  const Diagnosis d = diagnose(model, sampleOf(data), DiagnoseSettings{});
  ASSERT_EQ(d.weakFields.size(), 1u);
  EXPECT_EQ(d.weakFields.front().path, "R.U");
  EXPECT_DOUBLE_EQ(d.weakFields.front().validity, 0.75);
  EXPECT_EQ(d.hypotheses.front().warned, 10);
}

TEST(Diagnose, DateFieldsHoldDates) {
  // OPEN-DATE PIC 9(8): 20261207 is F2 F0 F2 F6 F1 F2 F0 F7; 20261307 has no month 13.
  const RecordModel model =
      modelOf({"01  R.", "    05  A          PIC X(3).", "    05  OPEN-DATE  PIC 9(8)."});
  std::string data;
  for (int i = 0; i < 40; ++i)
    data += "\xC1\xC2\xC3\xF2\xF0\xF2\xF6\xF1" + std::string(i % 2 ? "\xF3" : "\xF2") + "\xF0\xF7";
  const Diagnosis d = diagnose(model, sampleOf(data), DiagnoseSettings{});
  ASSERT_EQ(d.weakFields.size(), 1u);
  EXPECT_EQ(d.weakFields.front().path, "R.OPEN-DATE");
  EXPECT_DOUBLE_EQ(d.weakFields.front().validity, 0.5);
}

TEST(Diagnose, AsciiTextIsNotReadAsEbcdic) {
  // "ABC" in ASCII is 41 42 43: in IBM037, 41 is a blank and 42, 43 letters with
  // accents; its digits 30-39 are control characters there.
  const RecordModel model = modelOf({"01  R.", "    05  A  PIC X(3).", "    05  Z  PIC 9(3)."});
  std::string data;
  for (int i = 0; i < 40; ++i)
    data += "ABC" + std::to_string(100 + i);
  const Diagnosis d = diagnose(model, sampleOf(data), DiagnoseSettings{});
  EXPECT_EQ(d.hypotheses.front().codePage, "ASCII");
  EXPECT_TRUE(d.fits);
}

} // namespace
