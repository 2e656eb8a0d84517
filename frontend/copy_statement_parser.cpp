// Hand-written parser of COPY, REPLACE and INCLURE statements met inside replaced text.
#include "frontend/copy_statement_parser.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "diagnostics/message_store.h"
#include "frontend/copy_inclusion.h"
#include "frontend/copy_replacing.h"
#include "frontend/keywords.h"
#include "support/identifier_table.h"
#include "support/run_state.h"
#include "support/string_memory.h"

namespace {

struct ParsState {
  int (*read)() = GetToken;
  std::vector<tCopyToken> *tokens = nullptr;
  int code = tok::EndOfInput;
  tScanAttribute a{};
  tPosition last = NoPosition; // where the last terminal of the statement begins
  bool failed = false;
  bool replacingMode = false;
  // Statements read with the replaced text are new text: carried out unchecked.
  bool firstPass = false;
  // Statements carried out while replaced text was read: where they begin
  // and the file they opened.
  std::vector<std::pair<tPosition, tIdent>> carriedOut;
};
constexpr RunSlot<ParsState> ps{RunSlotId::copyStatementParser};

void next() {
  ps().last = ps().a.Position;
  ps().code = ps().read();
  ps().a = Attribute();
  ps().tokens->push_back(tCopyToken{ps().code, ps().a});
}

bool atWord(const char *word) {
  return ps().a.Word != NoIdent && std::strcmp(GetCStr(ps().a.Word), word) == 0;
}

bool isName(int code) {
  return code == tok::name || code == tok::name_in_area_A || code == tok::paragraph_name;
}

bool isInteger(int code) {
  return code == tok::unsigned_integer || code == tok::level_number || code == tok::plus_integer ||
         code == tok::minus_integer;
}

void syntaxError(const char *expected) {
  if (ps().failed)
    return;
  ps().failed = true;
  ErrorMessage(xxSyntaxError, xxError, ps().a.Position);
  ErrorMessageI(xxTokenFound, xxInformation, ps().a.Position, xxString, TerminalName(ps().code));
  ErrorMessageI(xxExpectedTokens, xxInformation, ps().a.Position, xxString, expected);
}

void enterReplacingMode() {
  begin_replacing();
  ps().replacingMode = true;
}

void leaveReplacingMode() {
  if (ps().replacingMode)
    end_replacing();
  ps().replacingMode = false;
}

tTree nameNode(tIdent word, tIdent spelling) {
  auto *node = mname(ps().a.Position, ps().a.EndPosition, word, spelling, ps().a.Prefixed);
  if (node != nullptr)
    node->decl = TreeNoReference;
  return node;
}

// A copybook or member name: any word, a literal or a number.
tTree textNameNode() {
  if (ps().a.Word != NoIdent)
    return nameNode(ps().a.Word, ps().a.Spelling != NoIdent ? ps().a.Spelling : ps().a.Word);
  if (ps().code == tok::string || isInteger(ps().code)) {
    // All bytes: a NUL in a literal must not make it another copybook's name.
    tIdent text = ps().a.Text != nullptr ? MakeIdent(StGetCStr(ps().a.Text), LengthSt(ps().a.Text))
                                         : MakeIdent("");
    return nameNode(text, text);
  }
  return NoTree;
}

// One terminal of pseudo-text read as ordinary terminals: words become
// names, numbers and literals literals, everything else text.
tTree element() {
  const tScanAttribute &a = ps().a;
  tTree node;
  if (isName(ps().code)) {
    node = nameNode(a.Word, a.Spelling != NoIdent ? a.Spelling : a.Word);
  } else if (isInteger(ps().code)) {
    node = minteger(a.Position, a.EndPosition, static_cast<std::int32_t>(a.Value), a.Text, false);
  } else if (ps().code == tok::real) {
    node = mreal(a.Position, a.EndPosition, a.Text, a.Text, false);
  } else if (ps().code == tok::string) {
    node = mstring(a.Position, a.EndPosition, a.Text, a.Text, false);
  } else {
    char character[2] = {a.Character, '\0'};
    const char *text = ps().code == tok::illegal_character ? character
                       : a.Text != nullptr                 ? StGetCStr(a.Text)
                       : a.Spelling != NoIdent             ? GetCStr(a.Spelling)
                                                           : TerminalName(ps().code);
    // A stored text keeps its NUL bytes; the other texts hold none.
    const std::size_t length = ps().code != tok::illegal_character && a.Text != nullptr
                                   ? LengthSt(a.Text)
                                   : std::strlen(text);
    node = mpseudo_text(a.Position, a.EndPosition, PutString(text, length));
  }
  return mexpression(NoTree, node);
}

tTree prepend(tTree element, tTree list) {
  if (element == NoTree)
    return list;
  if (tTree *link = Tree_Next(element))
    *link = list;
  return element;
}

// "(" ... ")" after an identifier: the elements inside, and whether a ":"
// made it a reference modification.
tTree parenthesised(bool &modifier) {
  modifier = false;
  int depth = 0;
  tTree list = mnoexpression_l();
  next();
  while (!(ps().code == tok::RParen && depth == 0)) {
    if (ps().code == tok::EndOfInput || ps().code == tok::Period) {
      syntaxError(")");
      return ReverseTree(list);
    }
    if (ps().code == tok::LParen)
      ++depth;
    else if (ps().code == tok::RParen)
      --depth;
    else if (ps().code == tok::Colon && depth == 0)
      modifier = true;
    list = prepend(element(), list);
    next();
  }
  next();
  return ReverseTree(list);
}

// name [OF|IN name]... [(subscripts)] [(start:length)]
tTree identifier() {
  struct Part {
    tScanAttribute a;
    bool of;
    tPosition ofPos;
  };
  std::vector<Part> parts{{ps().a, true, NoPosition}};
  tPosition begin = ps().a.Position;
  next();
  while (atWord("OF") || atWord("IN")) {
    bool of = atWord("OF");
    tPosition ofPos = ps().a.Position;
    next();
    if (!isName(ps().code)) {
      syntaxError("name");
      return NoTree;
    }
    parts.push_back(Part{ps().a, of, ofPos});
    next();
  }
  // A OF B OF C is the chain A -> B -> C.
  const tScanAttribute &last = parts.back().a;
  tTree node = mname(last.Position, last.EndPosition, last.Word, last.Spelling, last.Prefixed);
  for (std::size_t i = parts.size() - 1; i-- > 0;) {
    const Part &part = parts[i];
    node = mqualification(part.a.Position, last.EndPosition, part.a.Word, part.a.Spelling,
                          part.a.Prefixed, parts[i + 1].ofPos, node, parts[i + 1].of,
                          parts[i + 1].a.Position);
  }
  tPosition end = last.EndPosition;
  if (ps().code == tok::LParen) {
    tPosition open = ps().a.Position;
    bool modifier = false;
    tTree inside = parenthesised(modifier);
    end = ps().last;
    if (modifier)
      return mref_modification(begin, end, node, inside, open, end);
    node = msubscription(begin, end, node, inside, open);
    if (ps().code == tok::LParen) {
      tPosition open2 = ps().a.Position;
      tTree modification = parenthesised(modifier);
      end = ps().last;
      return mref_modification(begin, end, node, modification, open2, end);
    }
  }
  return node;
}

// An operand of a replacing pair. The replacement's pseudo-text is read raw
// (one pseudo_text terminal); the operand to find is read as terminals.
tTree operand(bool replacement) {
  const tScanAttribute first = ps().a;
  if (ps().code == tok::PseudoDelimiter) {
    if (replacement) {
      start_pseudo_text();
      next();
      if (ps().code != tok::pseudo_text) {
        syntaxError("pseudo_text");
        return NoTree;
      }
      tTree node = mpseudo_text(ps().a.Position, ps().a.EndPosition, ps().a.Text);
      next();
      if (ps().code != tok::PseudoDelimiter) {
        syntaxError("==");
        return NoTree;
      }
      next();
      return node;
    }
    next();
    tTree list = mnoexpression_l();
    while (ps().code != tok::PseudoDelimiter) {
      if (ps().code == tok::EndOfInput) {
        syntaxError("==");
        return NoTree;
      }
      list = prepend(element(), list);
      next();
    }
    tPosition close = ps().a.Position;
    next();
    if (!is<tree::expression>(list))
      return mpseudo_text(first.Position, close, PutString("", 0));
    return ReverseTree(list);
  }
  if (isInteger(ps().code)) {
    tTree node = minteger(first.Position, first.EndPosition, static_cast<std::int32_t>(first.Value),
                          first.Text, false);
    next();
    return node;
  }
  if (ps().code == tok::real || ps().code == tok::string) {
    tTree node = ps().code == tok::real
                     ? static_cast<tTree>(
                           mreal(first.Position, first.EndPosition, first.Text, first.Text, false))
                     : mstring(first.Position, first.EndPosition, first.Text, first.Text, false);
    next();
    return node;
  }
  if (atWord("FUNCTION")) {
    next();
    if (!isName(ps().code)) {
      syntaxError("name");
      return NoTree;
    }
    const tScanAttribute function = ps().a;
    next();
    tTree arguments = mnoexpression_l();
    tPosition open = NoPosition;
    if (ps().code == tok::LParen) {
      open = ps().a.Position;
      bool modifier = false;
      arguments = parenthesised(modifier);
    }
    return mfunction_call(first.Position, ps().last, function.Word, function.Position,
                          function.Spelling, function.EndPosition, false, arguments, open);
  }
  if (atWord("LENGTH")) {
    next();
    if (!atWord("OF")) {
      syntaxError("OF");
      return NoTree;
    }
    tPosition ofEnd = ps().a.EndPosition;
    next();
    if (!isName(ps().code)) {
      syntaxError("name");
      return NoTree;
    }
    tTree item = identifier();
    return munary(first.Position, ps().last, cwLengthOf, first.Position, ofEnd, item);
  }
  if (isName(ps().code) || ps().a.Word != NoIdent)
    return identifier();
  syntaxError("== name string unsigned_integer real FUNCTION LENGTH");
  return NoTree;
}

bool isPseudo(tTree operand) {
  return is<tree::pseudo_text>(operand) || is<tree::expression_l>(operand);
}

// [LEADING|TRAILING] operand BY operand, up to the period.
tTree pairs() {
  tTree list = mnocopy_replacing();
  while (ps().code != tok::Period && !ps().failed) {
    std::uint16_t mode = cwNone;
    if (ps().code == tok::LEADING || ps().code == tok::TRAILING) {
      mode = ps().code == tok::LEADING ? cwLeading : cwTrailing;
      next();
    }
    tTree find = operand(false);
    if (ps().failed)
      break;
    if (ps().code != tok::BY) {
      syntaxError("BY");
      break;
    }
    next();
    tTree by = operand(true);
    if (ps().failed)
      break;
    keep_operand_unresolved(find);
    keep_operand_unresolved(by);
    list = mcopy_replacing(list, find, by, isPseudo(find), isPseudo(by), mode);
  }
  if (!ps().failed && !is<tree::copy_replacing>(list))
    syntaxError("== LEADING TRAILING name string");
  return ReverseTree(list);
}

bool expectPeriod() {
  if (ps().code != tok::Period)
    syntaxError(".");
  return !ps().failed;
}

tTree copyStatement() {
  const tPosition begin = ps().a.Position;
  next();
  tTree name = textNameNode();
  if (name == NoTree) {
    syntaxError("name string");
    return NoTree;
  }
  next();
  tTree qualification = name;
  if (atWord("OF") || atWord("IN")) {
    bool of = atWord("OF");
    tPosition ofPos = ps().a.Position;
    next();
    tTree library = textNameNode();
    if (library == NoTree) {
      syntaxError("name");
      return NoTree;
    }
    auto *text = as<tree::name>(name);
    auto *node = mqualification(text->bpos, ps().a.EndPosition, text->name, text->spelling, false,
                                ofPos, library, of, ps().a.Position);
    if (node != nullptr)
      node->decl = TreeNoReference;
    qualification = node;
    next();
  } else if (atWord("FROM")) {
    next();
    if (!atWord("DICTIONARY")) {
      syntaxError("DICTIONARY");
      return NoTree;
    }
    next();
  }
  if (atWord("SUPPRESS"))
    next();
  tTree replacing = mnocopy_replacing();
  if (atWord("REPLACING")) {
    enterReplacingMode();
    next();
    replacing = pairs();
  }
  if (!expectPeriod())
    return NoTree;
  leaveReplacingMode();
  auto *statement = ms_copy(NoTree, begin, ps().a.Position, NoTree, true, qualification, cwCopy,
                            replacing, NoIdent);
  if (ps().firstPass)
    CopyStatement(statement);
  else
    CopyStatementReduced(statement);
  return statement;
}

tTree replaceStatement() {
  const tPosition begin = ps().a.Position;
  enterReplacingMode();
  next();
  tTree replacing = mnocopy_replacing();
  if (atWord("OFF"))
    next();
  else
    replacing = pairs();
  if (!expectPeriod())
    return NoTree;
  leaveReplacingMode();
  auto *statement = ms_replace(NoTree, begin, ps().a.Position, NoTree, true, replacing);
  ReplaceStatementReduced(statement);
  return statement;
}

tTree inclureStatement() {
  const tPosition begin = ps().a.Position;
  next();
  tTree member = textNameNode();
  if (member == NoTree) {
    syntaxError("name");
    return NoTree;
  }
  next();
  char prefix = ' ';
  std::int16_t increment = 0;
  if (ps().code == tok::illegal_character ||
      (isName(ps().code) && LengthIdent(ps().a.Spelling) == 1)) {
    prefix = ps().code == tok::illegal_character ? ps().a.Character : GetCStr(ps().a.Spelling)[0];
    next();
  }
  if (isInteger(ps().code)) {
    increment = static_cast<std::int16_t>(ps().a.Value);
    next();
  }
  if (!expectPeriod())
    return NoTree;
  auto *statement =
      ms_inclure(NoTree, begin, ps().a.Position, NoTree, true, member, prefix, increment, NoIdent);
  if (ps().firstPass)
    InclureStatement(statement);
  else
    InclureStatementReduced(statement);
  return statement;
}

} // namespace

tTree do_copy_pars(int first, std::vector<tCopyToken> &tokens) {
  ps().tokens = &tokens;
  ps().code = first;
  ps().a = Attribute();
  ps().last = ps().a.Position;
  ps().failed = false;
  ps().replacingMode = false;
  tokens.push_back(tCopyToken{first, ps().a});
  tTree statement = NoTree;
  if (first == tok::COPY)
    statement = copyStatement();
  else if (first == tok::REPLACE)
    statement = replaceStatement();
  else if (first == tok::INCLURE)
    statement = inclureStatement();
  if (ps().failed) {
    // Recover at the period that ends the statement.
    while (ps().code != tok::Period && ps().code != tok::EndOfInput)
      next();
    leaveReplacingMode();
    statement = NoTree;
  }
  ps().tokens = nullptr;
  return statement;
}

tTree call_copy_pars(int first, std::vector<tCopyToken> &tokens, int (*read)()) {
  SuspendReplacing();
  ps().read = read;
  ps().firstPass = true;
  tTree statement = do_copy_pars(first, tokens);
  ps().firstPass = false;
  ps().read = GetToken;
  ResumeReplacing();
  if (auto *copy = as_if<tree::s_copy>(statement))
    ps().carriedOut.emplace_back(copy->bpos, copy->FileName);
  else if (auto *inclure = as_if<tree::s_inclure>(statement))
    ps().carriedOut.emplace_back(inclure->bpos, inclure->FileName);
  return statement;
}

bool TakeCarriedOut(const tPosition &begin, tIdent &fileName) {
  for (auto it = ps().carriedOut.begin(); it != ps().carriedOut.end(); ++it) {
    if (Compare(it->first, begin) == 0) {
      fileName = it->second;
      ps().carriedOut.erase(it);
      return true;
    }
  }
  return false;
}

void ForgetCarriedOut() { ps().carriedOut.clear(); }
