// trafo_data_desc: hangs the entries a COPY brought into an entry under that COPY entry.
#include "frontend/copied_entries.h"

#include <cstdio>

#include "diagnostics/message_store.h"

namespace {

void yyAbort(const char *routine) {
  char info[64];
  std::snprintf(info, sizeof info, "Trafo.%s", routine);
  ErrorMessageI(xxRoutineFailed, xxFatal, NoPosition, xxString, info);
}

// The source file an entry comes from: for the entry formats the file of the
// name, for a COPY statement between entries the file in which it begins,
// for comment lines the file of the first line.
tIdent EntryFile(tTree entry) {
  if (auto *f = as_if<tree::format>(entry))
    return f->pos.File;
  if (auto *c = as_if<tree::data_desc_copy>(entry)) {
    auto *s = as_if<tree::statement>(c->statement);
    return s != nullptr ? s->bpos.File : NoIdent;
  }
  if (auto *c = as_if<tree::d_comment>(entry)) {
    auto *t = as_if<tree::text>(c->text_l);
    return t != nullptr ? t->filename : NoIdent;
  }
  return NoIdent;
}

} // namespace

tTree trafo_data_desc(tTree list) {
  tTree node = list;
  while (!is<tree::nodata_description_entry>(node)) {
    if (!is<tree::data_description_entry>(node)) {
      yyAbort("trafo_data_desc");
      return list;
    }
    auto *copy = as_if<tree::format_copy>(node);
    if (copy == nullptr || !is<tree::format_1>(copy->next)) {
      node = *Tree_Next(node);
      continue;
    }
    // The copied entries: from the format_1 on, as long as they come from its file.
    tTree first = copy->next;
    const tIdent file = EntryFile(first);
    tTree last = first;
    tTree after = *Tree_Next(last);
    while (is<tree::data_description_entry>(after) && EntryFile(after) == file) {
      last = after;
      after = *Tree_Next(last);
    }
    if (!is<tree::data_description_entry>(after) && !is<tree::nodata_description_entry>(after)) {
      yyAbort("get_end_of_copy");
      return list;
    }
    *Tree_Next(last) = mnodata_description_entry();
    copy->data_description_entry_l = first;
    copy->next = after;
    node = after;
  }
  return list;
}
