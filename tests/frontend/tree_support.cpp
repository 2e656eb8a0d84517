// FrontEndTest fixture: fresh front-end state, entry and reference builders.
#include "tree_support.h"

#include <cstdio>
#include <cstring>

#include "diagnostics/message_store.h"
#include "frontend/copied_entries.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

void FrontEndTest::SetUp() {
  InitIdents();
  BeginErrors();
  StoreMessages(true);
  BeginDeftab();
  NameCheck() = true;
  NameCheckMsg() = true;
}

void FrontEndTest::TearDown() {
  ReleaseTreeModule();
  StoreMessages(false);
  CloseIdents();
}

std::string FrontEndTest::Messages() {
  std::FILE *out = std::tmpfile();
  if (out == nullptr)
    return "<no temporary file>";
  WriteMessages(out);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;)
    text.push_back(static_cast<char>(c));
  std::fclose(out);
  return text;
}

tPosition FrontEndTest::At(unsigned line, unsigned column, const char *file) {
  return {line, static_cast<std::uint16_t>(column), MakeIdent(file)};
}

tIdent FrontEndTest::Id(const char *text) { return MakeIdent(text); }

tree::format_1 *FrontEndTest::Entry(int level, const char *name, const tPosition &at,
                                    tTree clauses) {
  char level_text[8];
  std::snprintf(level_text, sizeof level_text, "%02d", level);
  tPosition name_end = at;
  name_end.Column = static_cast<std::uint16_t>(at.Column + std::strlen(name));
  tPosition level_pos = at;
  level_pos.Column = 8;
  return mformat_1(NoTree, static_cast<std::int16_t>(level),
                   PutString(level_text, std::strlen(level_text)), Id(name), at, Id(name), name_end,
                   false, level_pos, name_end, clauses == NoTree ? mnodata_clause() : clauses);
}

tree::decl *FrontEndTest::DeclareEntry(int level, const char *name, const tPosition &at) {
  tree::format_1 *entry = Entry(level, name, at);
  entry->decl = Declare(level, {entry->name, entry->pos, NoPosition}, entry, NoPosition);
  return as<tree::decl>(entry->decl);
}

tree::name *FrontEndTest::Ref(const char *name, const tPosition &at) {
  tPosition end = at;
  end.Column = static_cast<std::uint16_t>(at.Column + std::strlen(name));
  return mname(at, end, Id(name), Id(name), false);
}

tree::qualification *FrontEndTest::RefOf(const char *name, tTree qualifier, const tPosition &at) {
  tPosition end = at;
  end.Column = static_cast<std::uint16_t>(at.Column + std::strlen(name));
  return mqualification(at, end, Id(name), Id(name), false, end, qualifier, true, end);
}
