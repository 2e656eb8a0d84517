#pragma once
// The fixed texts of the type mapping's messages about an item, written once
// for the modules that raise them. Each is reported with the item's context
// and a newline; the errors end the item's conversion.

namespace vexCblMsg {
inline constexpr const char *invalidItem = "\n\tError: Invalid Cobol item or unknown datatype.";
inline constexpr const char *pictureMissing = "\n\tError: Picture is not specified.";
inline constexpr const char *unknownUsage = "\n\tError: Unknown usage is specified.";
inline constexpr const char *defaultFailed = "Error: Failed to convert default value. ";
inline constexpr const char *groupValue =
    "\n\tWarning: VALUE keyword is not supported for group items. \n\tVALUE was ignored.";
inline constexpr const char *editedValue =
    "\n\tWarning: VALUE keyword is not supported for numeric-edited items. \n\tVALUE was ignored.";
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
} // namespace vexCblMsg
