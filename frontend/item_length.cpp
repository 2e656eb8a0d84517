// Storage lengths of declared items for LENGTH OF in constants (-lenient).
#include "frontend/item_length.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "support/string_memory.h"

namespace {

constexpr int levelRenames = 66;
constexpr int levelConstant = 78;
constexpr int levelCondition = 88;

// What an entry's own clauses say about its storage.
struct Clauses {
  const char *picture = nullptr;
  int usage = cwNone;
  int sign = cwNone;
  std::int32_t occurs = 1;
  bool redefines = false;
  bool synchronized = false;
  bool unbounded = false;
};

Clauses clausesOf(Tree_Node *list) {
  Clauses clauses;
  for (Tree_Node *node = list; node != nullptr && !is<tree::nodata_clause>(node);) {
    const auto *clause = as_if<tree::data_clause_c>(node);
    if (clause == nullptr)
      break;
    if (const auto *picture = as_if<tree::picture>(node)) {
      clauses.picture = picture->value != nullptr ? StGetCStr(picture->value) : nullptr;
    } else if (const auto *usage = as_if<tree::usage>(node)) {
      clauses.usage = usage->value;
    } else if (const auto *sign = as_if<tree::sign>(node)) {
      clauses.sign = sign->value;
    } else if (const auto *occurs = as_if<tree::occurs>(node)) {
      clauses.occurs = occurs->to;
      clauses.unbounded = occurs->to == OccursUnbounded;
    } else if (is<tree::redefines>(node)) {
      clauses.redefines = true;
    } else if (clause->keyword == cwSynchronized || clause->keyword == cwSynchronizedLeft ||
               clause->keyword == cwSynchronizedRight) {
      clauses.synchronized = true;
    }
    node = *Tree_Next(node);
  }
  return clauses;
}

// Character positions, bytes of DISPLAY storage, digits and the S of a
// picture, counting repetition factors.
struct PictureCounts {
  long positions = 0;
  long bytes = 0;
  long digits = 0;
  bool signed_ = false;
};

PictureCounts countPicture(const char *picture) {
  PictureCounts counts;
  const std::size_t size = std::strlen(picture);
  for (std::size_t i = 0; i < size;) {
    const char symbol = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[i])));
    std::size_t width = 1;
    if ((symbol == 'C' && i + 1 < size && std::toupper(picture[i + 1]) == 'R') ||
        (symbol == 'D' && i + 1 < size && std::toupper(picture[i + 1]) == 'B'))
      width = 2;
    i += width;
    long repeat = 1;
    if (i < size && picture[i] == '(') {
      repeat = std::strtol(picture + i + 1, nullptr, 10);
      const char *close = std::strchr(picture + i, ')');
      i = close == nullptr ? size : static_cast<std::size_t>(close - picture) + 1;
    }
    switch (symbol) {
    case 'S':
      counts.signed_ = true;
      break;
    case 'V':
    case 'P':
      break;
    case 'N':
    case 'G':
      counts.positions += repeat;
      counts.bytes += 2 * repeat;
      break;
    case '9':
      counts.digits += repeat;
      [[fallthrough]];
    default:
      counts.positions += repeat * static_cast<long>(width);
      counts.bytes += repeat * static_cast<long>(width);
      break;
    }
  }
  return counts;
}

bool binaryBytes(long digits, long &length) {
  if (digits >= 1 && digits <= 4)
    length = 2;
  else if (digits >= 5 && digits <= 9)
    length = 4;
  else if (digits >= 10 && digits <= 18)
    length = 8;
  else
    return false;
  return true;
}

bool elementaryLength(const Clauses &clauses, int usage, long &length) {
  if (UsageLength(usage, length))
    return true;
  if (clauses.picture == nullptr)
    return false;
  const PictureCounts counts = countPicture(clauses.picture);
  switch (usage) {
  case cwNone:
  case cwDisplay:
    length = counts.bytes;
    if (counts.signed_ && (clauses.sign == cwLeadingSeparate || clauses.sign == cwTrailingSeparate))
      ++length;
    return true;
  case cwNational:
  case cwDisplay1:
    length = 2 * counts.positions;
    return true;
  case cwBinary:
  case cwComputational:
  case cwComp4:
  case cwComp5:
    return binaryBytes(counts.digits, length);
  case cwPackedDecimal:
  case cwComp3:
    length = counts.digits / 2 + 1;
    return true;
  case cwComp6:
    length = (counts.digits + 1) / 2;
    return true;
  default:
    return false;
  }
}

// The length of `entry` under the usage its groups give it: of all its
// occurrences, or with `occurrence` of one.
bool lengthUnder(const tree::decl &entry, int inherited, long &length, bool occurrence = false) {
  const auto *format = as_if<tree::format_1>(entry.object);
  if (format == nullptr)
    return false;
  const Clauses clauses = clausesOf(format->data_clause_l);
  if (clauses.synchronized || (!occurrence && (clauses.unbounded || clauses.occurs < 0)))
    return false;
  const int usage = clauses.usage != cwNone ? clauses.usage : inherited;
  long single = 0;
  bool group = false;
  for (auto *member = as_if<tree::decl>(entry.fields); member != nullptr;
       member = as_if<tree::decl>(member->next)) {
    if (member->level == levelCondition || member->level == levelRenames ||
        member->level == levelConstant)
      continue;
    group = true;
    const auto *memberFormat = as_if<tree::format_1>(member->object);
    if (memberFormat != nullptr && clausesOf(memberFormat->data_clause_l).redefines)
      continue;
    long memberLength = 0;
    if (!lengthUnder(*member, usage, memberLength))
      return false;
    single += memberLength;
  }
  if (!group && !elementaryLength(clauses, usage, single))
    return false;
  length = occurrence ? single : single * clauses.occurs;
  return true;
}

} // namespace

bool UsageLength(int usage, long &length) {
  switch (usage) {
  case cwBinaryChar:
  case cwBinaryCharUnsigned:
    length = 1;
    return true;
  case cwBinaryShort:
  case cwBinaryShortUnsigned:
  case cwSignedShort:
  case cwUnsignedShort:
  case cwComp0:
    length = 2;
    return true;
  case cwComp1:
  case cwFloatShort:
  case cwBinaryLong:
  case cwBinaryLongUnsigned:
  case cwSignedInt:
  case cwUnsignedInt:
  case cwIndex:
  case cwPointer:
  case cwFunctionPointer:
  case cwProgramPointer:
  case cwObjectReference:
    length = 4;
    return true;
  case cwComp2:
  case cwFloatLong:
  case cwBinaryDouble:
  case cwBinaryDoubleUnsigned:
  case cwBinaryCLong:
  case cwBinaryCLongUnsigned:
  case cwSignedLong:
  case cwUnsignedLong:
  case cwProcedurePointer:
  case cwFloatDecimal16:
    length = 8;
    return true;
  case cwFloatDecimal34:
    length = 16;
    return true;
  default:
    return false;
  }
}

bool ItemLength(const tree::decl &entry, long &length) {
  if (entry.level < 1 || entry.level > 77 || entry.level == levelRenames)
    return false;
  // The usage of the groups around the item applies to it.
  int inherited = cwNone;
  for (auto *group = as_if<tree::decl>(entry.lower); group != nullptr && inherited == cwNone;
       group = as_if<tree::decl>(group->lower))
    if (const auto *format = as_if<tree::format_1>(group->object))
      inherited = clausesOf(format->data_clause_l).usage;
  // A table's name stands for one occurrence, as LENGTH OF reads it.
  return lengthUnder(entry, inherited, length, true);
}
