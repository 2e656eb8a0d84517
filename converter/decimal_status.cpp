#include "converter/decimal_status.h"

#include <array>

#include "support/trace.h"

namespace {

TRC1_EPB trcBlock{"TPZERRC"};

// Indexed by code; the texts are shown to users after
// "Error: Failed to convert default value. ".
constexpr std::array<const char *, 23> messages = {
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

} // namespace

std::string tpzErrorText(int code) {
  VEX_TRACE(trcBlock, "tpzErrorText");
  if (code < 0 || code >= static_cast<int>(messages.size()))
    return {};
  return messages[static_cast<std::size_t>(code)];
}

std::string TpzErrorCodeImpl::getString() const { return tpzErrorText(m_code); }

TpzErrorCode::TpzErrorCode(int code) { set(code); }

TpzErrorCode::TpzErrorCode(const TpzErrorCode &other) {
  if (other.m_impl)
    m_impl = std::make_unique<TpzErrorCodeImpl>(other.m_impl->getCode());
}

TpzErrorCode &TpzErrorCode::operator=(const TpzErrorCode &other) {
  if (this != &other)
    set(other.getCode());
  return *this;
}

void TpzErrorCode::set(int code) {
  VEX_TRACE(trcBlock, "TpzErrorCode::set");
  VEX_TRACE_ARGS(trcBlock) << "code"
                           << "(" << code << ") ";
  if (code == Success)
    m_impl.reset();
  else
    m_impl = std::make_unique<TpzErrorCodeImpl>(code);
}

int TpzErrorCode::getCode() const { return m_impl ? m_impl->getCode() : Success; }

std::string TpzErrorCode::getString() const {
  return m_impl ? m_impl->getString() : tpzErrorText(Success);
}
