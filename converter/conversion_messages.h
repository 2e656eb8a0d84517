#pragma once
// Every text the converter shows its user, written once for the modules that
// raise them. The texts about an item are reported with the item's context
// and a newline; the errors among them end the item's conversion.
#include <array>
#include <string>
#include <string_view>

namespace vexCblMsg {

// --- The run (written to the standard error stream as they are)
inline constexpr const char *startingConversion = "Starting conversion ...\n";
inline constexpr const char *sourceErrors =
    "Error: Cobol source contains errors. Conversion stopped.\n";
// An output file that is a file the run reads, by its name as given.
inline std::string outputIsInput(const std::string &output) {
  return "Error: Output file '" + output + "' is the input file.\n";
}
inline std::string outputIsCopybook(const std::string &output, const std::string &copybook) {
  return "Error: Output file '" + output + "' is the copybook '" + copybook + "'.\n";
}
// Before the text of a model or document error (VexError).
inline constexpr const char *errorPrefix = "Error: ";

// --- Type mapping
inline constexpr const char *invalidItem = "\n\tError: Invalid Cobol item or unknown datatype.";
inline constexpr const char *pictureMissing = "\n\tError: Picture is not specified.";
inline constexpr const char *unknownUsage = "\n\tError: Unknown usage is specified.";
inline constexpr const char *booleanPicture =
    "\n\tError: Boolean picture (symbol 1) is not supported.";
// -lenient: the boolean positions of PIC 1 as characters.
inline std::string booleanAsString(long width) {
  return "\n\tWarning: Boolean picture (symbol 1) is read as " + std::to_string(width) +
         (width == 1 ? " character" : " characters") +
         " '0' or '1'. \n\tString primitive was generated.";
}
inline constexpr const char *booleanValue =
    "\n\tWarning: VALUE keyword is not supported for boolean items. \n\tVALUE was ignored.";
// Sizes past the largest accepted (`limit`), refused before they can wrap.
inline std::string repetitionTooLarge(long long limit) {
  return "\n\tError: Picture repetition factor is greater than " + std::to_string(limit) + ".";
}
inline std::string pictureTooLarge(long long limit) {
  return "\n\tError: Picture size is greater than " + std::to_string(limit) + ".";
}
inline std::string occursTooLarge(long long limit) {
  return "\n\tError: OCCURS integer is greater than " + std::to_string(limit) + ".";
}
// Followed by the decimal status text.
inline constexpr const char *defaultFailed = "Error: Failed to convert default value. ";
inline constexpr const char *groupValue =
    "\n\tWarning: VALUE keyword is not supported for group items. \n\tVALUE was ignored.";
inline constexpr const char *editedValue =
    "\n\tWarning: VALUE keyword is not supported for numeric-edited items. \n\tVALUE was ignored.";
inline constexpr const char *binaryChar = "\n\tWarning: BINARY-CHAR usage is not supported. "
                                          "\n\tBinary primitive of 1 byte was generated.";
// A usage the model has no type for, kept as its storage bytes (-lenient).
inline std::string usageAsBytes(const char *usage, long bytes) {
  return std::string("\n\tWarning: ") + usage +
         " usage is not supported. \n\tBinary primitive of " + std::to_string(bytes) +
         (bytes == 1 ? " byte" : " bytes") + " was generated.";
}
inline constexpr const char *nationalNumber =
    "\n\tWarning: Numeric USAGE NATIONAL is not supported. \n\tString primitive was generated.";
inline constexpr const char *display1 =
    "\n\tWarning: DISPLAY_1 usage is not supported. \n\tBinary primitive was generated.";
inline constexpr const char *pSymbols =
    "\n\tWarning: The picture contains P symbols. \n\tP symbols were ignored.";
inline constexpr const char *blankWhenZero =
    "\n\tWarning: BLANK WHEN ZERO keyword or the picture \n\twithout 9 is "
    "not supported. String primitive was generated.";
inline constexpr const char *innerSign =
    "\n\tWarning: The number contains inner sign. \n\tBinary primitive was generated.";
inline constexpr const char *implicitDecimal =
    "\n\tWarning: The binary number is implicit decimal. \n\tThe V symbol is ignored.";
inline constexpr const char *packed =
    "\n\tWarning: Packed decimal is not supported. \n\tBinary primitive was generated.";
inline constexpr const char *shortFloat =
    "\n\tWarning: External floating-point items less tha 7 symbols are not "
    "supported. \n\tString primitive was generated.";
inline constexpr const char *zeroSymbols =
    "\n\tWarning: The picture contains 0 symbols. \n\tString primitive was generated.";
inline constexpr const char *beforeZeroSup =
    "\n\tWarning: Symbol before zero suppression sequence. \n\tString primitive was generated.";
inline constexpr const char *differentSeparators =
    "\n\tWarning: Different group separators. \n\tString primitive was generated.";
inline constexpr const char *separatorTooLong =
    "\n\tWarning: Group separator is too long. \n\tString primitive was generated.";

// --- Extraction
inline constexpr const char *synchronized =
    "\n\tWarning: SYNCHRONIZED keyword is not supported. \n\tSYNCHRONIZED was ignored.";
inline constexpr const char *unknownFigurativeConstant =
    "\n\tWarning: VALUE contains unknown figurative constant.\n\tThe keyword was ignored.";

// --- Declaration traversal
inline constexpr const char *groupConditionIgnored =
    "\n\tWarning: Level-88 entry of a group item. \n\tThe condition was ignored.";
inline constexpr const char *conditionWithoutItem =
    "\n\tWarning: Level-88 entry without an item before it. \n\tThe condition was ignored.";
inline constexpr const char *renamesIgnored = "\n\tWarning: RENAMES keyword was ignored.";
// The REDEFINES messages written into `out` (replacing it), which the walk
// keeps from one to the next: one of them comes with every REDEFINES.
inline void redefiningStandalone(std::string &out, std::string_view defName) {
  out.assign("\n\tWarning: REDEFINES keyword. \n\tStandalone definition '");
  out.append(defName);
  out.append("' was generated \n\tfor redefining item.");
}
inline void redefinedStandalone(std::string &out, std::string_view defName) {
  out.assign("\n\tWarning: REDEFINES keyword. \n\tStandalone definition '");
  out.append(defName);
  out.append("' was generated \n\tfor redefined item.");
}
inline std::string countItemNotBefore(const std::string &countItem, const std::string &item) {
  return "\n\tWarning: cardinality item '" + countItem + "' specified \n\tfor item '" + item +
         "' does not preceding the array.";
}

// --- Export
inline constexpr const char *nothingToExport =
    "Warning: Nothing to export. No converted definitions exist.";
inline std::string namespaceExported(const std::string &component) {
  return "Info: Namespace exported '" + component + "'.";
}
// The same into `out` (its old text replaced), for the export's line per
// definition without a string made for each.
inline void definitionExported(std::string &out, std::string_view name) {
  out.assign("Info: Definition exported '");
  out.append(name);
  out.append("'.");
}
inline std::string definitionExported(const std::string &name) {
  std::string text;
  definitionExported(text, name);
  return text;
}

// --- Record model: the layout (-layout) and the decoder
// A binary item is 8 bytes at most: 18 digits.
inline std::string binaryTooLong(long long digits) {
  return "\n\tError: Binary item of " + std::to_string(digits) +
         " digits; binary items hold 18 digits at most.";
}
// -lenient: OCCURS ... UNBOUNDED has no largest count, so nothing after the
// table has an offset; only the layout refuses it (the document has maxOccurs).
inline constexpr const char *occursUnboundedLayout =
    "\n\tError: OCCURS UNBOUNDED has no largest count; the record cannot be laid out.";
// A redefinition below level 01 longer than the storage it redefines.
inline std::string redefinesLarger(long long bytes, const std::string &original,
                                   long long originalBytes) {
  return "\n\tWarning: The item takes " + std::to_string(bytes) + " bytes, more than the " +
         std::to_string(originalBytes) + " bytes of " + original + ", which it redefines.";
}
inline constexpr const char *unsignedSeparateSign =
    "\n\tWarning: SIGN SEPARATE of an item without S in its picture. \n\tIt was laid out as "
    "signed, with its sign byte.";
inline constexpr const char *separateSignOfText =
    "\n\tWarning: SIGN SEPARATE of an item that is not a number. \n\tNo sign byte was laid "
    "out.";

// --- Packed and zoned decimal status, indexed by code (decimal_status.h);
// shown after defaultFailed.
inline constexpr std::array<const char *, 23> decimalStatus = {
    "",
    "Type is not specified for packed/zoned.",
    "Wrong type is specified for packed/zoned.",
    "Wrong sign position is specified for packed/zoned.",
    "Wrong encoding is specified for packed/zoned.",
    "Wrong number of digits is specified for packed/zoned.",
    "Negative point location is specified for packed/zoned.",
    "Negative scale can not be specified if point location is 0.",
    "Positive scale can not be specified if point location is not 0.",
    "Wrong value of number of digits, point location or scale.",
    "Too big point location is specified for packed/zoned.",
    "Wrong sign position is specified for packed.",
    "Negative number can not be converted to unsigned packed/zoned.",
    "Number is too big to be converted to packed/zoned.",
    "Packed/zoned contains wrong digit.",
    "Packed/zoned has wrong width.",
    "Packed/zoned contains wrong sign.",
    "Wrong packed/zoned pattern",
    "Packed/zoned pattern contains 'P' in the middle",
    "Packed/zoned pattern contains multiple decimal point symbol ('V')",
    "Packed/zoned pattern contains multiple groups of 'P' symbol",
    "Packed/zoned pattern contains wrong symbol",
    "'S' should be the first symbol of packed/zoned pattern",
};

} // namespace vexCblMsg
