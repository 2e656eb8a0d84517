#include "frontend/syntax_tree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "diagnostics/message_store.h"
#include "support/run_memory.h"

namespace {

// Checks at compile time that the kinds of frontend/syntax_tree.def are numbered in a
// preorder of their hierarchy, which Tree_IsType relies on: every kind inside
// a kind's range really derives from it, and every base precedes its kinds.
constexpr bool DerivesFrom(int kind, int base) {
  for (int k = kind; k != 0; k = TreeBase[k])
    if (k == base)
      return true;
  return false;
}
constexpr bool NumberedInPreorder() {
  for (int kind = 1; kind <= TreeKindCount; ++kind) {
    if (TreeBase[kind] >= kind)
      return false;
    for (int other = kind + 1; other <= TypeRange[kind]; ++other)
      if (!DerivesFrom(other, kind))
        return false;
  }
  return true;
}
static_assert(NumberedInPreorder(), "node kinds must be numbered in preorder");

constexpr const char *KindNames[TreeKindCount + 1] = {
    "?",
#define TREE_KIND(num, name, base) #name,
#include "frontend/syntax_tree.def"
};

// Nodes live in the run's arena until the run ends; exhaustion throws
// std::bad_alloc, which the run's owner reports.
void *TreeAlloc(unsigned long size) {
  size = (size + 7) & ~7UL;
  Tree_HeapUsed += size;
  return RunAllocate(size, 8);
}

template <class T> T *TreeMake() {
  static_assert(alignof(T) <= 8);
  void *storage = TreeAlloc(sizeof(T));
  T *node = new (storage) T();
  node->Kind = T::KindNumber;
  return node;
}

// Per-kind accessors generated from frontend/syntax_tree.def.
#define NEXT_SKIP(type, field)
#define NEXT_FIELD(type, field) NEXT_FIELD_##type(field)
#define NEXT_FIELD_link(field) return &node->field;
#define NEXT_FIELD_child(field)
#define NEXT_FIELD_ref(field)
#define NEXT_FIELD_later(field)
#define NEXT_FIELD_ident(field)
#define NEXT_FIELD_str(field)
#define NEXT_FIELD_pos(field)
#define NEXT_FIELD_flag(field)
#define NEXT_FIELD_chr(field)
#define NEXT_FIELD_shrt(field)
#define NEXT_FIELD_int32(field)
#define NEXT_FIELD_word(field)
#define NEXT_FIELD_dkind(field)
#define NEXT_FIELD_tflags(field)
#define NEXT_FIELD_rint(field)
#define NEXT_FIELD_rflags(field)

#define CHILD_FIELD(type, field) CHILD_FIELD_##type(field)
#define CHILD_FIELD_link(field)
#define CHILD_FIELD_child(field) visit(node->field, context);
#define CHILD_FIELD_ref(field)
#define CHILD_FIELD_later(field)
#define CHILD_FIELD_ident(field)
#define CHILD_FIELD_str(field)
#define CHILD_FIELD_pos(field)
#define CHILD_FIELD_flag(field)
#define CHILD_FIELD_chr(field)
#define CHILD_FIELD_shrt(field)
#define CHILD_FIELD_int32(field)
#define CHILD_FIELD_word(field)
#define CHILD_FIELD_dkind(field)
#define CHILD_FIELD_tflags(field)
#define CHILD_FIELD_rint(field)
#define CHILD_FIELD_rflags(field)

using Visitor = void (*)(tTree &, void *);

#define TREE_KIND(num, name, base)                                                                 \
  tTree *Next_##name([[maybe_unused]] ::tree::name *node) {                                        \
    TREE_FIELDS_##name(NEXT_FIELD, NEXT_FIELD) return nullptr;                                     \
  }                                                                                                \
  void Children_##name([[maybe_unused]] ::tree::name *node, [[maybe_unused]] Visitor visit,        \
                       [[maybe_unused]] void *context) {                                           \
    TREE_FIELDS_##name(CHILD_FIELD, CHILD_FIELD)                                                   \
  }
#include "frontend/syntax_tree.def"

using NextAccessor = tTree *(*)(tTree);
using ChildWalker = void (*)(tTree, Visitor, void *);

constexpr NextAccessor NextAccessors[TreeKindCount + 1] = {
    nullptr,
#define TREE_KIND(num, name, base)                                                                 \
  [](tTree node) { return Next_##name(static_cast<::tree::name *>(node)); },
#include "frontend/syntax_tree.def"
};

constexpr ChildWalker ChildWalkers[TreeKindCount + 1] = {
    nullptr,
#define TREE_KIND(num, name, base)                                                                 \
  [](tTree node, Visitor visit, void *context) {                                                   \
    Children_##name(static_cast<::tree::name *>(node), visit, context);                            \
  },
#include "frontend/syntax_tree.def"
};

bool IsKind(tTree node) {
  return node != nullptr && node->Kind >= 1 && node->Kind <= TreeKindCount;
}

} // namespace

unsigned long Tree_HeapUsed = 0;
tTree TreeRoot = NoTree;

const char *Tree_KindName(int kind) {
  return kind >= 1 && kind <= TreeKindCount ? KindNames[kind] : KindNames[0];
}

void Tree_BadCast(const Tree_Node *node, int expected) {
  std::fprintf(stderr, "Tree: node of kind %s used as %s\n",
               node == nullptr ? "(null)" : Tree_KindName(node->Kind), Tree_KindName(expected));
  std::abort();
}

#define TREE_SET(type, field) TREE_SET_##type(field)
#define TREE_SET_link(field) node->field = field;
#define TREE_SET_child(field) node->field = field;
#define TREE_SET_ref(field) node->field = field;
#define TREE_SET_later(field)
#define TREE_SET_ident(field) node->field = field;
#define TREE_SET_str(field) node->field = field;
#define TREE_SET_pos(field) node->field = field;
#define TREE_SET_flag(field) node->field = field;
#define TREE_SET_chr(field) node->field = field;
#define TREE_SET_shrt(field) node->field = field;
#define TREE_SET_int32(field) node->field = field;
#define TREE_SET_word(field) node->field = field;
#define TREE_SET_dkind(field) node->field = field;
#define TREE_SET_tflags(field) node->field = field;
#define TREE_SET_rint(field)
#define TREE_SET_rflags(field)
#define TREE_KIND(num, name, base)                                                                 \
  ::tree::name *m##name(TREE_PARAMS(name)) {                                                       \
    auto *node = TreeMake<::tree::name>();                                                         \
    if (node != nullptr) {                                                                         \
      TREE_FIELDS_##name(TREE_SET, TREE_SET)                                                       \
    }                                                                                              \
    return node;                                                                                   \
  }
#include "frontend/syntax_tree.def"

tTree *Tree_Next(tTree node) { return IsKind(node) ? NextAccessors[node->Kind](node) : nullptr; }

void Tree_ForEachChild(tTree node, Visitor visit, void *context) {
  if (IsKind(node))
    ChildWalkers[node->Kind](node, visit, context);
}

tTree ReverseTree(tTree list) {
  tTree previous = NoTree;
  tTree current = list;
  while (tTree *next = Tree_Next(current)) {
    tTree following = *next;
    *next = previous;
    previous = current;
    current = following;
  }
  if (previous == NoTree)
    return current;
  // `list` is now the last element; it takes over the end node.
  *Tree_Next(list) = current;
  return previous;
}

void ReleaseTreeModule() {
  Tree_HeapUsed = 0;
  TreeRoot = NoTree;
}

// clang-format off
const char *const cobol_word[CobolWordCount] = {
    /*   0 */ "none", "FD", "SD", "RD", "CD",
    /*   5 */ "SELECT", "EXTERNAL", "OPTIONAL", "ASSIGN", "DEVICE",
    /*  10 */ "DISK", "PRINTER", "KEYBOARD", "RESERVE", "DISPLAY",
    /*  15 */ "AREA", "AREAS", "ORGANIZATION", "SEQUENTIAL", "LINE",
    /*  20 */ "RELATIVE", "INDEXED", "PADDING", "RECORD", "DELIMITER",
    /*  25 */ "ACCESS", "MODE", "RANDOM", "DYNAMIC", "KEY",
    /*  30 */ "NOMINAL", "FILE", "STATUS", "ALTERNATE", "WITH",
    /*  35 */ "DUPLICATES", "LOCK", "MANUAL", "AUTOMATIC", "EXCLUSIVE",
    /*  40 */ "PASSWORD", "SUPPRESS", "BLOCK", "CONTAINS", "NATIVE",
    /*  45 */ "CHARACTERS", "RECORDS", "TO", "VARYING", "DEPENDING",
    /*  50 */ "LABEL", "STANDARD", "OMITTED", "DATA", "REDEFINES",
    /*  55 */ "GLOBAL", "PICTURE", "USAGE", "SIGN", "OCCURS",
    /*  60 */ "SYNCHRONIZED", "SYNCHRONIZED LEFT", "SYNCHRONIZED RIGHT", "JUSTIFIED", "BLANK",
    /*  65 */ "VALUE", "BINARY", "COMPUTATIONAL", "INDEX", "PACKED-DECIMAL",
    /*  70 */ "COMPUTATIONAL-0", "COMPUTATIONAL-1", "COMPUTATIONAL-2", "COMPUTATIONAL-3", "COMPUTATIONAL-4",
    /*  75 */ "COMPUTATIONAL-5", "COMPUTATIONAL-6", "COMPUTATIONAL-7", "COMPUTATIONAL-8", "COMPUTATIONAL-11",
    /*  80 */ "COMPUTATIONAL-12", "COMPUTATIONAL-X", "POINTER", "DISPLAY-1", "PROCEDURE-POINTER",
    /*  85 */ "OBJECT REFERENCE", "LEADING", "LEADING SEPARATE", "TRAILING", "TRAILING SEPARATE",
    /*  90 */ "SEPARATE", "DB-KEY", "ASCENDING", "DESCENDING", "LINAGE",
    /*  95 */ "FOOTING", "TOP", "BOTTOM", "CODE-SET", "REPORT",
    /* 100 */ "REPORTS", "RECORDING", "F", "V", "U",
    /* 105 */ "S", "FIXED", "VARIABLE", "LEFT", "RIGHT",
    /* 110 */ "WHEN", "CHARACTER", "IS", "ARE", "THROUGH",
    /* 115 */ "TIMES", "ON", "BY", "INDEXED BY", "NUMERIC",
    /* 120 */ "ALPHABETIC", "ALPHANUMERIC", "SPACE FILL", "NATIONAL", "CONTROL",
    /* 125 */ "CONTROLS", "FINAL", "PAGE", "LIMIT", "LIMITS",
    /* 130 */ "HEADING", "ZERO", "FIRST", "DETAIL", "LAST",
    /* 135 */ "LINE-NUMBER", "NEXT", "GROUP", "TYPE", "REPORT-HEADING",
    /* 140 */ "PAGE-HEADING", "CONTROL-HEADING", "CONTROL-FOOTING", "PAGE-FOOTING", "REPORT-FOOTING",
    /* 145 */ "RH", "PH", "CH", "DE", "CF",
    /* 150 */ "PF", "RF", "COLUMN", "SOURCE", "ALL",
    /* 155 */ "SUM", "UPON", "RESET", "PLUS", "INPUT",
    /* 160 */ "OUTPUT", "I-O", "INITIAL", "QUEUE", "SUB-QUEUE-1",
    /* 165 */ "SUB-QUEUE-2", "SUB-QUEUE-3", "MESSAGE", "DATE", "TIME",
    /* 170 */ "COUNT", "TEXT", "LENGTH", "END", "STATUS KEY",
    /* 175 */ "DESTINATION", "TABLE", "ERROR", "TERMINAL", "SCREEN",
    /* 180 */ "AUTO", "AUTO-SKIP", "BELL", "BEEP", "BLINK",
    /* 185 */ "FULL", "HIGHLIGHT", "LOWLIGHT", "REQUIRED", "REVERSE-VIDEO",
    /* 190 */ "SECURE", "UNDERLINE", "FOREGROUND-COLOR", "BACKGROUND-COLOR", "FROM",
    /* 195 */ "USING", "PROMPT", "ERASE", "EOL", "EOS",
    /* 200 */ "NO-ECHO", "UPDATE", "COL", "SIZE", "CONTROL-KEY",
    /* 205 */ "CURSOR-KEY", "SCHEMA", "SUB-SCHEMA", "WITHIN", "REALM",
    /* 210 */ "KEEPLIST", "PRIVACY", "DB", "ALIAS", "DIVISION",
    /* 215 */ "SECTION", "WORKING-STORAGE", "LINKAGE", "LOCAL-STORAGE", "VIRTUAL-STORAGE",
    /* 220 */ "FILE-CONTROL", "I-O-CONTROL", "COMMUNICATION", "PROCEDURE", "DECLARATIVES",
    /* 225 */ "USE", "AFTER", "BEFORE", "EXCEPTION", "ACCEPT",
    /* 230 */ "ADD", "ALTER", "CALL", "CANCEL", "CLOSE",
    /* 235 */ "COMPUTE", "CONTINUE", "DELETE", "DIVIDE", "EVALUATE",
    /* 240 */ "EXIT", "GENERATE", "GO", "GOBACK", "IF",
    /* 245 */ "INITIALIZE", "INITIATE", "INSPECT", "MERGE", "MOVE",
    /* 250 */ "MULTIPLY", "OPEN", "PERFORM", "READ", "RELEASE",
    /* 255 */ "RETURN", "REWRITE", "ZEROS", "SEARCH", "SPACE",
    /* 260 */ "SPACES", "HIGH-VALUE", "HIGH-VALUES", "LOW-VALUE", "LOW-VALUES",
    /* 265 */ "QUOTE", "QUOTES", "ZEROES", "ANY", "NULL",
    /* 270 */ "SET", "SORT", "START", "STOP", "STRING",
    /* 275 */ "SUBTRACT", "SUPPRESS PRINTING", "TERMINATE", "UNSTRING", "WRITE",
    /* 280 */ "COPY", "REPLACE", "REPLACING", "OF", "IN",
    /* 285 */ "FUNCTION", "ADDRESS", "LENGTH OF", "CORRESPONDING", "GIVING",
    /* 290 */ "REMAINDER", "ROUNDED", "SIZE ERROR", "OVERFLOW", "INVALID",
    /* 295 */ "AT", "END-OF-PAGE", "EOP", "THEN", "ELSE",
    /* 300 */ "END-IF", "END-READ", "END-WRITE", "END-PERFORM", "END-EVALUATE",
    /* 305 */ "END-CALL", "END-COMPUTE", "END-ADD", "END-SUBTRACT", "END-MULTIPLY",
    /* 310 */ "END-DIVIDE", "END-SEARCH", "END-STRING", "END-UNSTRING", "END-DELETE",
    /* 315 */ "END-REWRITE", "END-START", "END-RETURN", "END-ACCEPT", "END-DISPLAY",
    /* 320 */ "UNTIL", "VARYING BY", "TEST", "WITH TEST", "ALSO",
    /* 325 */ "OTHER", "NOT", "AND", "OR", "EQUAL",
    /* 330 */ "GREATER", "LESS", "THAN", "POSITIVE", "NEGATIVE",
    /* 335 */ "CLASS", "ALPHABET", "SYMBOLIC", "CURRENCY", "DECIMAL-POINT",
    /* 340 */ "COMMA", "CONSOLE", "SWITCH", "PROGRAM-ID", "AUTHOR",
    /* 345 */ "INSTALLATION", "DATE-WRITTEN", "DATE-COMPILED", "SECURITY", "ENVIRONMENT",
    /* 350 */ "CONFIGURATION", "SOURCE-COMPUTER", "OBJECT-COMPUTER", "SPECIAL-NAMES", "INPUT-OUTPUT",
    /* 355 */ "IDENTIFICATION", "ID", "PROGRAM", "COMMON", "RECURSIVE",
    /* 360 */ "METHOD-ID", "CLASS-ID", "FACTORY", "OBJECT", "INHERITS",
    /* 365 */ "METACLASS", "SELF", "SUPER", "INVOKE", "RETURNING",
    /* 370 */ "CONVERTING", "REPLACING BY", "TALLYING", "BEFORE INITIAL", "AFTER INITIAL",
    /* 375 */ "FOR", "DELIMITED", "POINTER TO", "WITH POINTER", "COUNT IN",
    /* 380 */ "DELIMITER IN", "ENTER", "ENABLE", "DISABLE", "PURGE",
    /* 385 */ "SEND", "RECEIVE", "SEGMENT", "EGI", "EMI",
    /* 390 */ "ESI", "REWIND", "REEL", "UNIT", "REMOVAL",
    /* 395 */ "NO", "LOCK ON", "EXTEND", "ROLLBACK", "COMMIT",
    /* 400 */ "FIND", "GET", "STORE", "MODIFY", "ERASE ALL",
    /* 405 */ "CONNECT", "DISCONNECT", "READY", "FINISH", "KEEP",
    /* 410 */ "FREE", "MEMBER", "OWNER", "CURRENT", "PRIOR",
    /* 415 */ "RETAINING", "SORT-MERGE", "COLLATING", "SEQUENCE", "DUPLICATES IN",
    /* 420 */ "OUTPUT PROCEDURE", "INPUT PROCEDURE", "PROCEED", "NEXT SENTENCE", "CURSOR",
    /* 425 */ "SENTENCE", "PARAGRAPH", "SECTION NAME", "ENTRY", "TRACE",
    /* 430 */ "READY TRACE", "RESET TRACE", "EXAMINE", "TRANSFORM", "EXHIBIT",
    /* 435 */ "NAMED", "CHANGED", "WAIT", "SUBPROGRAM", "BINARY-CHAR",
    /* 440 */ "BINARY-SHORT", "BINARY-LONG", "BINARY-DOUBLE", "FLOAT-SHORT", "FLOAT-LONG",
    /* 445 */ "DISPLAY OF", "CONDITION", "VALIDATE", "PRESENT", "PRINTING",
    /* 450 */ "PROPERTY", "TYPEDEF", "STRONG", "UNIVERSAL", "ANYCASE",
    /* 455 */ "BASED", "CONSTANT", "DEFAULT", "PREVIOUS", "RAISE",
    /* 460 */ "RAISING", "RESUME", "SHARING", "STEP", "SYSTEM-DEFAULT",
    /* 465 */ "THRU", "TRUE", "FALSE", "ZERO FILL", "EXCEPTION OBJECT",
    /* 470 */ "NULLS", "ACCESS MODE", "ACTUAL", "ADVANCING", "ALPHABETIC-LOWER",
    /* 475 */ "ALPHABETIC-UPPER", "APPLY", "BOOLEAN", "CBL", "CD NAME",
    /* 480 */ "CLOCK-UNITS", "CODE", "COLUMNS", "COMMITMENT", "COMPUTER NAME",
    /* 485 */ "CONTENT", "CORR", "CRT", "CRT-UNDER", "CYCLE",
    /* 490 */ "DAY", "DAY-OF-WEEK", "DEBUG-CONTENTS", "DEBUG-ITEM", "",
};
// clang-format on
