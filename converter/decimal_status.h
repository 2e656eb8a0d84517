#pragma once
#include <memory>
#include <string>

// The result of a packed or zoned decimal operation. Success holds nothing;
// a failure holds the code of what went wrong, whose text is fixed by the
// message table of this module.

// The held state of a failure: the integer code.
class TpzErrorCodeImpl {
public:
  explicit TpzErrorCodeImpl(int code) : m_code(code) {}
  virtual ~TpzErrorCodeImpl() = default;
  // The message of the code: the table text for 0 to 22, empty otherwise.
  virtual std::string getString() const;
  // The integer code given at construction.
  virtual int getCode() const { return m_code; }

private:
  int m_code;
};

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
  explicit TpzErrorCode(int code);
  TpzErrorCode(const TpzErrorCode &other);
  TpzErrorCode &operator=(const TpzErrorCode &other);
  TpzErrorCode(TpzErrorCode &&other) noexcept = default;
  TpzErrorCode &operator=(TpzErrorCode &&other) noexcept = default;
  ~TpzErrorCode() = default;

  // Replaces the held code; 0 makes this a success.
  void set(int code);
  // The held code, 0 on success.
  int getCode() const;
  // The message of the held code (empty on success and for unknown codes).
  std::string getString() const;
  // True when no failure is held.
  bool isSuccess() const { return !m_impl; }

private:
  std::unique_ptr<TpzErrorCodeImpl> m_impl;
};

// The message of any code: the table text for 0 to 22, empty otherwise.
std::string tpzErrorText(int code);
