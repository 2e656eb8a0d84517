#pragma once
#include <cstdint>
#include <string>

// Helpers of the type mapping tests: one data item described by its clauses,
// converted under a given configuration, with the definition's markup and
// the messages of the conversion captured.

// The configuration choices that change the type mapping.
struct VexTmConfig {
  bool commaDecimalPoint = false;
  bool textNumbersAsStrings = false;
  bool packedDefaultAsText = false;
  std::int32_t compatLevel = 0;
};

// The VALUE clause of an item.
enum class VexTmValueKind { none, string, number, figurative };

// One data description entry as the object extraction fills the item
// context: the clauses by their texts and word codes.
struct VexTmItem {
  const char *picture = nullptr; // PICTURE text as written; null without
  int usage = 0;                 // word code of the item's own USAGE
  int sign = 0;                  // word code of the item's own SIGN
  int groupUsage = 0;            // USAGE inherited from the enclosing group
  int groupSign = 0;             // SIGN inherited from the enclosing group
  bool isGroup = false;
  bool blankWhenZero = false;
  bool justified = false;
  VexTmValueKind valueKind = VexTmValueKind::none;
  const char *value = nullptr; // literal as written
  int figurative = 0;          // word code of a figurative constant
  bool all = false;            // the literal is preceded by ALL
};

// What converting one item gave.
struct VexTmResult {
  std::string markup;   // the definition's element; empty when it threw
  std::string messages; // the standard error stream during the conversion
  bool threw = false;   // a VexCvtError ended the conversion
};

// The name under which the item is reported: messages begin with " (ITEM) ".
inline constexpr const char *vexTmItemName = "ITEM";

// Converts `item` with vexCblCreateDef under `config` inside a report context
// named vexTmItemName; the configuration is restored afterwards.
VexTmResult vexTmConvert(const VexTmItem &item, const VexTmConfig &config = {});

// Parses `entries` (fixed-format data description lines, each written from
// column 8) as a copybook, reads the entry named ITEM and the groups around it
// as the declaration walk does (group contexts populated from the outermost
// group inwards, isGroup set when ITEM has subordinate entries), and converts
// ITEM with vexCblCreateDef under `config`. Front-end messages of the error
// class make the result's markup "syntax error" and its messages the stored
// front-end messages. The front-end memory is released afterwards.
VexTmResult vexTmConvertSource(const std::string &entries, const VexTmConfig &config = {});

// The text one reported message gives on the standard error stream.
std::string vexTmMessage(const char *text);

// Validates `markup` (one definition element) against schema/vexfcbl.xsd with
// xmllint; returns xmllint's diagnostics, empty when the markup is valid.
std::string vexTmSchemaErrors(const std::string &markup);
