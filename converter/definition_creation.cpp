// Picks group/string/number by category and USAGE; applies VALUE, packed/zoned bytes under 300.
#include "converter/definition_creation.h"

#include <string>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "converter/item_contexts.h"
#include "converter/numeric_definitions.h"
#include "converter/packed_zoned.h"
#include "converter/pictures.h"
#include "frontend/syntax_tree.h"

namespace {

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
VexString encodedDefault(VexCblConversion &conv, VexCblGrpContext &grp, VexCblObjContext &item) {
  const int usage =
      vexCblPackedOrUsage(vexCblGetUsage(grp, item), item.picture ? &*item.picture : nullptr, conv.options.lenient);
  const bool packed = usage == cwPackedDecimal || usage == cwComp3;
  TpzCblDecimal decimal(packed ? TpzCblDecimal::TypePacked : TpzCblDecimal::TypeZoned,
                        decimalSign(vexCblGetSign(grp, item)), 0, 0, 0);
  decimal.setEncoding(conv.options.packedDefaultAsText ? TpzCblDecimal::EncodingAscii
                                                       : TpzCblDecimal::EncodingEbcdic);
  const std::string pattern = item.picture ? item.picture->getPictureVal() : std::string();
  std::string bytes;
  TpzErrorCode result = decimal.setPattern(pattern.c_str());
  if (result.isSuccess())
    result = decimal.validate();
  if (result.isSuccess())
    result = decimal.convertToCobol(numberText(*item.value), bytes);
  if (!result.isSuccess())
    conv.report.error(vexCblMsg::defaultFailed + result.getString());
  return bytes;
}

// The default value of `def` for the item's VALUE, and whether it is a byte
// image; false when the VALUE is ignored.
bool defaultValue(VexCblConversion &conv, VexCblGrpContext &grp, VexCblObjContext &item,
                  VexCblType category, const VexDataDefImpl &def, VexString &value,
                  bool &byteImage) {
  if (vexCblTypeHas(category, VexCblType::Group)) {
    conv.report.message(vexCblMsg::groupValue);
    return false;
  }
  const bool numeric = vexCblTypeHas(category, VexCblType::Numeric);
  if (numeric && vexCblTypeHas(category, VexCblType::Edited)) {
    conv.report.message(vexCblMsg::editedValue);
    return false;
  }
  // A binary stand-in of a number holds the number's storage bytes, or
  // outside the old level its plain digits.
  if (numeric && def.isPrimitiveDef() && def.primitiveKind() == 3) {
    if (conv.options.compat300Output()) {
      value = encodedDefault(conv, grp, item);
      byteImage = true;
    } else
      value = numberText(*item.value);
    return true;
  }
  const int length = item.picture ? item.picture->size() : -1;
  value = item.value->getValueImage(length);
  return true;
}

// A new group definition of type 1 without members.
VexDataDef vexCblCreateGrp() {
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  group->setType(1);
  return group;
}

// A string definition of the picture's size, blank-padded and right-
// justified when the item is JUSTIFIED; a binary definition of twice the
// size with a warning for USAGE DISPLAY-1. Reports and throws VexCvtError
// for a USAGE other than DISPLAY. Only items whose picture makes them
// alphabetic or alphanumeric come here, so the picture is there.
VexDataDef vexCblCreateStr(VexCvtReport &report, VexCblGrpContext &grp, VexCblObjContext &item) {
  const int size = item.picture->size();
  const int usage = vexCblGetUsage(grp, item);
  if (usage == cwDisplay1) {
    report.message(vexCblMsg::display1);
    auto binary = VexDefAccessor<VexBinaryDefImpl>::create();
    binary->setWidth(VexRange(2L * size));
    return binary;
  }
  // USAGE NATIONAL (only -lenient reads it) counts characters as PIC N does.
  if (usage != cwDisplay && usage != cwNone && usage != cwNational)
    report.error(vexCblMsg::unknownUsage);
  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(size));
  string->setPadCharacter(VexSyntax(" "));
  string->setJustification(item.justified ? 2 : 0);
  return string;
}

// True when the effective USAGE is a computational, pointer or index usage
// (word codes 66 to 82, 84, 85); false for DISPLAY, NATIVE, DISPLAY-1 and
// none.
bool vexCblIsNumberByUsage(const VexCblGrpContext &grp, const VexCblObjContext &item) {
  const int usage = vexCblGetUsage(grp, item);
  return (usage >= cwBinary && usage <= cwPointer) || usage == cwProcedurePointer ||
         usage == cwObjectReference || vexCblIsDialectNumberUsage(usage);
}

// Refuses a picture past the size limit before any of its counts, capped
// rather than true, can reach a definition.
void checkPictureLimits(VexCvtReport &report, VexCblPicture &picture) {
  switch (picture.excess()) {
  case VexCblPicProps::Excess::RepetitionFactor:
    report.error(vexCblMsg::repetitionTooLarge(vexCblLargestSize));
  case VexCblPicProps::Excess::Size:
    report.error(vexCblMsg::pictureTooLarge(vexCblLargestSize));
  case VexCblPicProps::Excess::None:
    break;
  }
}

// PIC 1(n): boolean positions, which IBM's compilers refuse (an error of
// the item); under -lenient a string of one character '0' or '1' a
// position, as COBOL 2002 stores a boolean item of USAGE DISPLAY.
VexDataDef vexCblCreateBoolean(VexCblConversion &conv, VexCblObjContext &item) {
  if (!conv.options.lenient)
    conv.report.error(vexCblMsg::booleanPicture);
  const int size = item.picture->size();
  conv.report.message(vexCblMsg::booleanAsString(size));
  if (item.value && item.value->getType() != VexCblValue::NoValue)
    conv.report.message(vexCblMsg::booleanValue);
  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(size));
  string->setPadCharacter(VexSyntax(" "));
  string->setJustification(0);
  return string;
}

} // namespace

VexDataDef vexCblCreateDef(VexCblConversion &conv, VexCblGrpContext &grp, VexCblObjContext &item) {
  if (item.picture)
    checkPictureLimits(conv.report, *item.picture);
  if (!item.isGroup && item.picture && vexCblIsBooleanPicture(item.picture->getPictureVal()))
    return vexCblCreateBoolean(conv, item);
  const VexCblType category = itemCategory(item);
  // -lenient: PIC X(n) COMP-X is an unsigned binary number of n bytes.
  const bool binaryByPicture =
      conv.options.lenient && !item.isGroup && vexCblIsBinaryByPicture(vexCblGetUsage(grp, item));
  VexDataDef def;
  if (vexCblTypeHas(category, VexCblType::Group))
    def = vexCblCreateGrp();
  else if (!binaryByPicture &&
           vexCblTypeHas(category, VexCblType::Alphabetic | VexCblType::Alphanumeric))
    def = vexCblCreateStr(conv.report, grp, item);
  else if (vexCblTypeHas(category, VexCblType::Numeric) || vexCblIsNumberByUsage(grp, item) ||
           binaryByPicture)
    def = vexCblCreateNumber(conv, grp, item);
  else
    conv.report.error(vexCblMsg::invalidItem);

  if (item.value && item.value->getType() != VexCblValue::NoValue) {
    VexString value;
    bool byteImage = false;
    if (defaultValue(conv, grp, item, category, *def, value, byteImage))
      if (auto *primitive = rttiCast<VexPrimitiveDefImpl>(def.getPeer()))
        primitive->setDefaultValue(value, byteImage);
  }
  return def;
}
