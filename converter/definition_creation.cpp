#include "converter/definition_creation.h"

#include <string>

#include "frontend/syntax_tree.h"
#include "support/trace.h"
#include "converter/conversion_report.h"
#include "converter/packed_zoned.h"
#include "converter/conversion_options.h"
#include "converter/item_contexts.h"
#include "converter/conversion_messages.h"
#include "converter/numeric_definitions.h"

namespace {

TRC1_EPB trcBlock{"VEXCBCRT"};

VexCblType itemCategory(VexCblObjContext &item) {
  if (item.isGroup)
    return VexCblType::Group;
  return item.picture ? item.picture->type() : VexCblType::None;
}

// The numeric text of a VALUE as the model and the encoder take it.
std::string numberText(const VexCblValue &value) {
  const std::string &text = value.getValue();
  return !text.empty() && text.front() == '+' ? text.substr(1) : text;
}

TpzCblDecimal::Sign decimalSign(int sign) {
  switch (sign) {
  case cwLeading:
    return TpzCblDecimal::SignLeading;
  case cwTrailing:
    return TpzCblDecimal::SignTrailing;
  case cwLeadingSeparate:
    return TpzCblDecimal::SignLeadingSeparate;
  case cwTrailingSeparate:
    return TpzCblDecimal::SignTrailingSeparate;
  default:
    return TpzCblDecimal::SignDefault;
  }
}

// The VALUE of a numeric item in the packed or zoned bytes of its storage.
VexString encodedDefault(VexCblGrpContext &grp, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "encodedDefault");
  const int usage = vexCblGetUsage(grp, item);
  const bool packed = usage == cwPackedDecimal || usage == cwComp3;
  TpzCblDecimal decimal(packed ? TpzCblDecimal::TypePacked : TpzCblDecimal::TypeZoned,
                        decimalSign(vexCblGetSign(grp, item)), 0, 0, 0);
  decimal.setEncoding(VexCblConfig::inst().packedDefaultAsText ? TpzCblDecimal::EncodingAscii
                                                               : TpzCblDecimal::EncodingEbcdic);
  const std::string pattern = item.picture ? item.picture->getPictureVal() : std::string();
  std::string bytes;
  TpzErrorCode result = decimal.setPattern(pattern.c_str());
  if (result.isSuccess())
    result = decimal.validate();
  if (result.isSuccess())
    result = decimal.convertToCobol(numberText(*item.value), bytes);
  if (!result.isSuccess()) {
    VEX_TRACE_ERROR(trcBlock) << "Decimal code"
                              << "(" << result.getCode() << ") ";
    vexCvtReportError(vexCblMsg::defaultFailed + result.getString());
  }
  if (vexTraceScope_.level() & TRC1_DETAIL) {
    VexTraceStream dump;
    dump.getOs(trcBlock, __LINE__, bytes.data(), bytes.size()) << "Detail - "
                                                               << "Default bytes" << std::flush;
  }
  return vexToUnicode(bytes.data(), static_cast<long>(bytes.size()), false);
}

// The default value of `def` for the item's VALUE, and whether it is a byte
// image; false when the VALUE is ignored.
bool defaultValue(VexCblGrpContext &grp, VexCblObjContext &item, VexCblType category,
                  const VexDataDefImpl &def, VexString &value, bool &byteImage) {
  VEX_TRACE(trcBlock, "defaultValue");
  if (vexCblTypeHas(category, VexCblType::Group)) {
    vexCvtReportMsg(vexCblMsg::groupValue);
    return false;
  }
  const bool numeric = vexCblTypeHas(category, VexCblType::Numeric);
  if (numeric && vexCblTypeHas(category, VexCblType::Edited)) {
    vexCvtReportMsg(vexCblMsg::editedValue);
    return false;
  }
  // A binary stand-in of a number holds the number's storage bytes, or
  // outside the old level its plain digits.
  if (numeric && def.isPrimitiveDef() && def.primitiveKind() == 3) {
    if (VexCblConfig::inst().compatLevel == 300) {
      value = encodedDefault(grp, item);
      byteImage = true;
    } else
      value = vexToUnicode(numberText(*item.value), false);
    return true;
  }
  const int length = item.picture ? item.picture->size() : -1;
  value = vexToUnicode(item.value->getValueImage(length), false);
  return true;
}

} // namespace

VexDataDef vexCblCreateDef(VexCblGrpContext &grp, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblCreateDef");
  const VexCblType category = itemCategory(item);
  VEX_TRACE_DETAIL(trcBlock) << "Category"
                             << "(" << static_cast<int>(category) << ") ";
  VexDataDef def;
  if (vexCblTypeHas(category, VexCblType::Group))
    def = vexCblCreateGrp(grp, item);
  else if (vexCblTypeHas(category, VexCblType::Alphabetic | VexCblType::Alphanumeric))
    def = vexCblCreateStr(grp, item);
  else if (vexCblTypeHas(category, VexCblType::Numeric) || vexCblIsNumberByUsage(grp, item))
    def = vexCblCreateNumber(grp, item);
  else
    vexCvtReportError(vexCblMsg::invalidItem);

  if (item.value && item.value->getType() != VexCblValue::NoValue) {
    VexString value;
    bool byteImage = false;
    if (defaultValue(grp, item, category, *def, value, byteImage))
      if (auto *primitive = rttiCast<VexPrimitiveDefImpl>(def.getPeer()))
        primitive->setDefaultValue(value, byteImage);
  }
  return def;
}

VexDataDef vexCblCreateGrp(VexCblGrpContext &, VexCblObjContext &) {
  VEX_TRACE(trcBlock, "vexCblCreateGrp");
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  group->setType(1);
  return group;
}

VexDataDef vexCblCreateStr(VexCblGrpContext &grp, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblCreateStr");
  if (!item.picture)
    vexCvtReportError(vexCblMsg::pictureMissing);
  const int size = item.picture->size();
  const int usage = vexCblGetUsage(grp, item);
  VEX_TRACE_DETAIL(trcBlock) << "Size"
                             << "(" << size << ") "
                             << "Usage"
                             << "(" << usage << ") ";
  if (usage == cwDisplay1) {
    vexCvtReportMsg(vexCblMsg::display1);
    auto binary = VexDefAccessor<VexBinaryDefImpl>::create();
    binary->setWidth(VexRange(2L * size));
    return binary;
  }
  if (usage != cwDisplay && usage != cwNone)
    vexCvtReportError(vexCblMsg::unknownUsage);
  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(size));
  string->setPadCharacter(VexSyntax(vexToUnicode(" ", 1L, false)));
  string->setJustification(item.justified ? 2 : 0);
  return string;
}

bool vexCblIsNumberByUsage(VexCblGrpContext &grp, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblIsNumberByUsage");
  const int usage = vexCblGetUsage(grp, item);
  return VEX_TRACE_RESULT((usage >= cwBinary && usage <= cwPointer) ||
                          usage == cwProcedurePointer || usage == cwObjectReference);
}
