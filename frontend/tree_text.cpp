// Identifier and stored-string texts, names as written or with the include prefix.
#include "frontend/tree_text.h"

#include "support/identifier_table.h"
#include "support/string_memory.h"

std::string IdentText(tIdent ident) {
  const char *text = GetCStr(ident);
  return text != nullptr ? text : "";
}

std::string StoredText(tStringRef ref) {
  if (ref == nullptr)
    return "";
  const char *text = StGetCStr(ref);
  return text != nullptr ? std::string(text, LengthSt(ref)) : "";
}

std::string WrittenOrReplaced(tIdent name, tIdent spelling, bool replaced) {
  return IdentText(replaced ? name : spelling);
}

std::string ReferenceName(const Tree_Node *reference) {
  if (const auto *plain = as_if<tree::name>(reference))
    return WrittenOrReplaced(plain->name, plain->spelling, plain->replaced);
  if (const auto *qualified = as_if<tree::qualification>(reference))
    return WrittenOrReplaced(qualified->name, qualified->spelling, qualified->replaced);
  return "";
}

const tree::decl *ReferencedDecl(const Tree_Node *reference) {
  const auto *identifier = as_if<tree::identifier_c>(reference);
  return identifier != nullptr ? as_if<tree::decl>(identifier->decl) : nullptr;
}
