// Message table of the packed/zoned result codes 0-22 and the TpzErrorCode holder.
#include "converter/decimal_status.h"

#include "converter/conversion_messages.h"

std::string TpzErrorCode::getString() const {
  if (m_code < 0 || m_code >= static_cast<int>(vexCblMsg::decimalStatus.size()))
    return {};
  return vexCblMsg::decimalStatus[static_cast<std::size_t>(m_code)];
}
