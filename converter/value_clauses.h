#pragma once
// VexCblValue: a VALUE literal classified, and its value image for a definition's default.
#include <cstdint>
#include <string>
#include <string_view>

// The literal of a VALUE clause, classified, and the value image that the
// definition creators write as a definition's default value. In an image a
// byte that cannot be written as a character appears as "\h" and two
// hexadecimal digits, so one unit of a value is either one character or one
// four-character escape.
class VexCblValue {
public:
  // The numbers are part of the contract.
  enum ValueType : std::int32_t {
    NoValue = 0, // also after an unknown figurative constant
    FigurativeConstant = 1,
    Alphanumeric = 2,
    Numeric = 4,
    Hexadecimal = 18,    // X"..."
    NullTerminated = 34, // Z"..."
    Dbcs = 66,           // G"..." or N"..."
  };

  // No value: type 0, empty text, not expandable, unit length 1.
  VexCblValue() = default;

  // Classifies an alphanumeric-class literal as written, delimiters
  // included: X"4142" becomes the escapes "\h41\h42" (an odd last digit is
  // completed with 0), Z"..." and plain literals keep their content with
  // doubled delimiters made single, G"..." and N"..." are kept as written
  // from the delimiter on. A null text changes nothing. Expandable is left
  // as set before, except that a Z literal is never expandable.
  void setStrValue(const char *literal);
  // The same for a literal that may hold NUL bytes: they are data, kept
  // like any other byte of the content.
  void setStrValue(std::string_view literal);
  // A numeric literal, kept as written; never expandable. A null text
  // changes nothing.
  void setNumValue(const char *literal);
  // A figurative constant by its word code (ZERO 131, 257, 267; SPACE 259,
  // 260; HIGH-VALUE 261, 262; LOW-VALUE 263, 264; QUOTE 265, 266; NULL 269).
  // Any other code leaves no value and gives false, for the caller to warn.
  bool setFigConst(int code);
  // Marks the value to be repeated to fill its item (ALL literals).
  void setExpandable(bool expandable) { m_expandable = expandable; }

  ValueType getType() const { return m_type; }
  // The value text as stored, escapes included.
  const std::string &getValue() const { return m_value; }
  bool isExpandable() const { return m_expandable; }
  // Characters per unit of the value text: 1, or 4 for "\h" escapes.
  std::uint32_t getUnitLength() const { return m_unitLength; }

  // The image to write for an item of `length` units (-1: unknown). An
  // expandable value other than numeric and Z literals is repeated to
  // exactly `length` units, never splitting an escape; any other value is
  // written as it is, neither padded nor cut. Backslashes of alphanumeric
  // and Z literals are doubled, and a Z literal ends with "\0". Empty when
  // there is no value.
  std::string getValueImage(int length) const;

private:
  ValueType m_type = NoValue;
  std::string m_value;
  bool m_expandable = false;
  std::uint32_t m_unitLength = 1;
};
