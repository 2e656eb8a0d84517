#pragma once
// TpzErrorCode: success or a numbered packed/zoned failure with its fixed message text.
#include <string>

// The result of a packed or zoned decimal operation: success, or the code of
// what went wrong, whose text is the converter's decimal status text
// (conversion_messages.h).

class TpzErrorCode {
public:
  // The codes the decimal encoding returns; the numbers are the contract.
  enum Code : int {
    Success = 0,
    TypeNotSpecified = 1,
    WrongType = 2,
    WrongSignPosition = 3,
    WrongEncoding = 4,
    WrongNumberOfDigits = 5,
    NegativePointLocation = 6,
    NegativeScaleWithoutPoint = 7,
    PositiveScaleWithPoint = 8,
    InconsistentScale = 9,
    PointLocationTooBig = 10,
    WrongPackedSignPosition = 11,
    NegativeToUnsigned = 12,
    NumberTooBig = 13,
    WrongDigit = 14,
    WrongWidth = 15,
    WrongSign = 16,
    WrongPattern = 17,
    PatternPInMiddle = 18,
    PatternMultipleV = 19,
    PatternMultiplePGroups = 20,
    PatternWrongSymbol = 21,
    PatternSNotFirst = 22,
  };

  // Success.
  TpzErrorCode() = default;
  // The given code; 0 is success.
  explicit TpzErrorCode(int code) : m_code(code) {}

  // The held code, 0 on success.
  int getCode() const { return m_code; }
  // The text of the held code: empty on success and for a code outside the
  // table.
  std::string getString() const;
  // True when no failure is held.
  bool isSuccess() const { return m_code == Success; }

private:
  int m_code = Success;
};
