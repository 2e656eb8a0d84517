// Declaration hashing, level-number hierarchy, duplicate-name checks and qualified lookup.
#include "frontend/declaration_table.h"

#include <algorithm>
#include <array>

#include "support/run_state.h"

#include <cstdint>
#include <vector>

#include "diagnostics/message_store.h"
#include "frontend/keywords.h"

namespace {

constexpr int StackSize = 52;
constexpr std::uint32_t RmsDialects = 0x800000 | 0x1000000;

struct LevelEntry {
  std::int8_t level;
  tree::decl *last; // last entry declared on this depth, or null: the parent of deeper ones
  // The end of the sibling list on this depth: `last`, or a -lenient constant
  // linked after it.
  tree::decl *tail;
};

// Where the siblings of one parent with one name stand in their list: the
// newest one put in front of it (level 0) and the oldest one appended.
struct SiblingsNamed {
  tree::decl *newestPrepended = nullptr;
  tree::decl *oldestAppended = nullptr;
};

// Records of different sections of a program may share a name (a program
// refers to them qualified, or not at all), so the top level is one sibling
// list per section; a copybook has no sections and one list.
struct SiblingKey {
  const Tree_Node *parent;
  tIdent name;
  std::int16_t section;
  bool operator==(const SiblingKey &) const = default;
};

// The sibling lists that can still grow, by parent and name: an open-addressed
// table (linear probing, deletion by shifting back), because a hash map's
// node per entry cost a cache miss on every lookup, three lookups per
// declaration, and a copybook of a million entries makes them by the million.
class SiblingTable {
public:
  // The entry of `key`, made empty when there is none.
  SiblingsNamed &operator[](const SiblingKey &key) {
    if ((count_ + 1) * 2 > slots_.size())
      grow();
    std::size_t i = home(key);
    for (; slots_[i].used; i = (i + 1) & mask())
      if (slots_[i].key == key)
        return slots_[i].named;
    slots_[i] = Slot{key, SiblingsNamed{}, true};
    ++count_;
    return slots_[i].named;
  }

  void erase(const SiblingKey &key) {
    if (count_ == 0)
      return;
    std::size_t hole = home(key);
    for (;; hole = (hole + 1) & mask()) {
      if (!slots_[hole].used)
        return;
      if (slots_[hole].key == key)
        break;
    }
    slots_[hole].used = false;
    --count_;
    // Entries after the hole that would be passed over by a search from their
    // home now stop at it: move each such entry into the hole.
    for (std::size_t i = (hole + 1) & mask(); slots_[i].used; i = (i + 1) & mask()) {
      const std::size_t want = home(slots_[i].key);
      const bool reachable = hole <= i ? (hole < want && want <= i) : (hole < want || want <= i);
      if (reachable)
        continue;
      slots_[hole] = slots_[i];
      slots_[i].used = false;
      hole = i;
    }
  }

private:
  struct Slot {
    SiblingKey key{};
    SiblingsNamed named;
    bool used = false;
  };

  std::size_t mask() const { return slots_.size() - 1; }

  std::size_t home(const SiblingKey &key) const {
    std::uint64_t h = reinterpret_cast<std::uintptr_t>(key.parent);
    h ^= (std::uint64_t{key.name} << 24) ^ (std::uint64_t(std::uint16_t(key.section)) << 56);
    h *= 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(h >> 32) & mask();
  }

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    count_ = 0;
    for (const Slot &slot : old)
      if (slot.used)
        (*this)[slot.key] = slot.named;
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

SiblingKey siblingKey(const tree::decl *d) {
  return {d->lower, d->name, d->lower == nullptr ? d->kind : std::int16_t{0}};
}

struct DeftabState {
  // The newest declaration of each name, by identifier number (identifiers
  // are dense, so a vector beats a hash table in time and memory); older
  // ones follow through `collision`, so a lookup meets only declarations of
  // its name.
  std::vector<tree::decl *> newestNamed;
  // The duplicate check's view of the sibling lists that can still grow,
  // kept as declarations are linked, so that it costs the same in a list of
  // any length. A list whose parent can take no more members is dropped
  // (ForgetSiblingsOf): a big copybook keeps only its open records here.
  // The top-level lists never close, so they have a table of their own: in
  // one table the names of a big copybook's records (20 000 in the mixed
  // million) spread the few open members over megabytes, and nearly every
  // lookup for a member missed the cache.
  SiblingTable siblings;
  SiblingTable topSiblings;

  SiblingTable &siblingsOf(const SiblingKey &key) {
    return key.parent == nullptr ? topSiblings : siblings;
  }
  LevelEntry stack[StackSize] = {};
  int depth = 0;         // stack_ptr: the current depth, 0 is the top level
  int current_level = 1; // level number of the last ordinary entry
  tIdent filler = NoIdent;
  tIdent rms_sts = NoIdent;
  tIdent rms_stv = NoIdent;
  tIdent rms_filename = NoIdent;
  tree::decl *decls = nullptr;
  // The root declaration BeginDeftab made: top-level entries follow it or
  // hang right below it.
  tree::decl *root = nullptr;
  RecordFeed *feed = nullptr;
  bool nameCheck = false;
  bool nameCheckMsg = true;
  bool lenient = false;
  std::int16_t section = 0;
  std::array<tree::decl *, MaxSearch + 1> searchResult{};
  int searchCount = 0;
  std::array<tDeclName, MaxCdNames> cdNames{};
};
constexpr RunSlot<DeftabState> state{RunSlotId::declarationTable};

tree::decl *NextDecl(const tree::decl *d) { return static_cast<tree::decl *>(d->next); }
tree::decl *FirstField(const tree::decl *d) { return static_cast<tree::decl *>(d->fields); }

// Records `d` in `named`, the entry of its name among its parent's siblings.
void NoteSibling(SiblingsNamed &named, tree::decl *d) {
  if (d->level == 0)
    named.newestPrepended = d;
  else if (named.oldestAppended == nullptr)
    named.oldestAppended = d;
}

// Records `d` among the siblings of its parent (`lower`, which must be final).
void EnterSibling(tree::decl *d) {
  const SiblingKey key = siblingKey(d);
  NoteSibling(state().siblingsOf(key)[key], d);
}

// The newest declaration named `name`; the slot is made on first use.
tree::decl *&NewestNamed(tIdent name) {
  std::vector<tree::decl *> &newest = state().newestNamed;
  if (name >= newest.size())
    newest.resize(std::max<std::size_t>(name + 1, 2 * newest.size()), nullptr);
  return newest[name];
}

// `parent` will take no more members: its list leaves the duplicate check.
void ForgetSiblingsOf(const tree::decl *parent) {
  DeftabState &s = state();
  for (const auto *d = as_if<tree::decl>(parent->fields); d != nullptr;
       d = as_if<tree::decl>(d->next)) {
    const SiblingKey key = siblingKey(d);
    s.siblingsOf(key).erase(key);
  }
}

void Enter(tree::decl *d) {
  tree::decl *&newest = NewestNamed(d->name);
  d->collision = newest;
  newest = d;
  // Declarations put in front of a list know their parent already; appended
  // ones are entered when Link has chosen it.
  if (d->level == 0)
    EnterSibling(d);
}

bool RmsDialect() { return (dialect() & RmsDialects) != 0; }

bool IsRmsName(tIdent name) {
  return name == state().rms_sts || name == state().rms_stv || name == state().rms_filename;
}

// Moves to depth `depth`; a depth beyond the stack (never reached by COBOL
// level numbers) keeps the deepest entry.
int Deeper(int depth) { return depth + 1 < StackSize ? depth + 1 : depth; }

// Begins the list on `depth` afresh. The entry that was last on it can take
// no more members (only the newest entry of a depth is a parent), so its
// members leave the duplicate check: else each record would leave the lists
// of its deepest groups there, and a big copybook's check would grow with it.
void BeginDepth(int depth, int level) {
  DeftabState &s = state();
  if (const tree::decl *previous = s.stack[depth].last)
    ForgetSiblingsOf(previous);
  s.stack[depth] = {static_cast<std::int8_t>(level), nullptr, nullptr};
}

// The depth at which a declaration of `level` goes; updates the level stack.
int ChooseDepth(int level) {
  DeftabState &s = state();
  int depth = s.depth;
  if (level == 1) {
    if (s.section == dkFile || s.section == dkCommunication) {
      if (depth == 0)
        BeginDepth(1, 1);
      depth = 1;
    } else {
      depth = 0;
    }
    s.current_level = 1;
  } else if (level == 66) {
    if (s.section == dkFile && depth >= 1) {
      if (depth == 1)
        BeginDepth(2, 66);
      depth = 2;
    } else {
      if (depth == 0)
        BeginDepth(1, 66);
      depth = 1;
    }
  } else if (level == 77 || level == 78) {
    // In a FILE section they stand among the records of the file being
    // described, so that the records after them stay the file's.
    if (s.section == dkFile) {
      if (depth == 0)
        BeginDepth(1, 1);
      depth = 1;
    } else {
      depth = 0;
    }
    s.current_level = 1;
  } else if (level >= 90 && level <= 99) {
    depth = 0;
  } else {
    if (level < s.current_level) {
      if (depth > 0)
        --depth;
      while (depth > 0 && level < s.stack[depth].level)
        --depth;
      // A level between two open levels: sibling of the later of them.
      if (level > s.stack[depth].level) {
        depth = Deeper(depth);
        s.stack[depth].level = static_cast<std::int8_t>(level);
      }
    } else if (level > s.current_level) {
      depth = Deeper(depth);
      BeginDepth(depth, level);
    }
    s.current_level = level;
  }
  return depth;
}

// The first earlier sibling of `d` with the same name, or null, from the
// entry of that name (`named`, before `d` is noted in it): the one a walk of
// the list from its head would meet first. Entries put in front of the list
// (level 0: implicit declarations) come first, newest first; appended
// entries follow, oldest first.
tree::decl *FirstSiblingNamed(const SiblingsNamed &named) {
  return named.newestPrepended != nullptr ? named.newestPrepended : named.oldestAppended;
}

void ReportDuplicate(tree::decl *d, const SiblingsNamed &named) {
  if (tree::decl *s = FirstSiblingNamed(named)) {
    if (state().lenient) {
      ErrorMessageI(xxRepeatedName, xxWarning, d->position, xxIdent, &d->name);
      return;
    }
    MessageI("name multiply declared", xxError, d->position, xxIdent, &d->name);
    MessageI("previous declaration", xxInformation, d->position, xxPosition, &s->position);
  }
}

// Appends `d` to the sibling list on `depth`, below the entry that is open
// one depth up.
// The entry of `d`'s name among the siblings is looked up once, for the
// duplicate check and for noting `d` (two lookups of the same key before).
void Append(tree::decl *d, int depth) {
  DeftabState &s = state();
  tree::decl *parent = depth > 0 ? s.stack[depth - 1].last : nullptr;
  d->lower = parent;
  const SiblingKey key = siblingKey(d);
  SiblingsNamed &named = s.siblingsOf(key)[key];
  if (tree::decl *tail = s.stack[depth].tail) {
    if (s.nameCheck && d->name != NoIdent && d->name != s.filler)
      ReportDuplicate(d, named);
    tail->next = d;
  } else if (parent != nullptr) {
    parent->fields = d;
  }
  NoteSibling(named, d);
  s.stack[depth].tail = d;
}

void Link(tree::decl *d, int depth) {
  DeftabState &s = state();
  Append(d, depth);
  // The entry `d` follows at this depth can be nobody's parent again: only
  // the last entry of a depth takes members, and a depth the levels return
  // to is begun afresh.
  if (tree::decl *previous = s.stack[depth].last; previous != nullptr && previous != d)
    ForgetSiblingsOf(previous);
  s.stack[depth].last = d;
  s.depth = depth;
  if (RecordFeed *feed = s.feed;
      feed != nullptr && (d->lower == nullptr || d->lower == s.root))
    feed->opened(d);
}

// -lenient: a constant takes no storage and ends nothing. It stands where it
// is written, after the last data entry, and leaves the levels as they were:
// the entries after it continue the group it was written in. Condition and
// RENAMES entries before it belong to that data entry, not beside it.
void LinkConstant(tree::decl *d) {
  int depth = state().depth;
  while (depth > 0 && (state().stack[depth].level == 88 || state().stack[depth].level == 66))
    --depth;
  Append(d, depth);
}

// Preorder search of the subtrees of the chain that begins with `first`.
tree::decl *SearchSubtrees(tree::decl *first, tIdent name) {
  for (tree::decl *d = first; d != nullptr; d = NextDecl(d)) {
    if (d->name == name)
      return d;
    if (d->fields != NoTree)
      if (tree::decl *found = SearchSubtrees(FirstField(d), name))
        return found;
  }
  return nullptr;
}

struct QualifiedName {
  tIdent name;
  tree::identifier_c *node;
};

// Does the qualified name list from `index` on match in the chain that begins
// with `first` or anywhere below it? Records the declarations in `found`.
bool MatchQualified(const std::vector<QualifiedName> &names, std::size_t index, tree::decl *first,
                    std::vector<tree::decl *> &found) {
  for (tree::decl *d = first; d != nullptr; d = NextDecl(d)) {
    if (d->name == names[index].name &&
        (index + 1 == names.size() || MatchQualified(names, index + 1, FirstField(d), found))) {
      found[index] = d;
      return true;
    }
    if (d->fields != NoTree && MatchQualified(names, index, FirstField(d), found))
      return true;
  }
  return false;
}

} // namespace

tree::decl *&deftab_decls() { return state().decls; }
bool &NameCheck() { return state().nameCheck; }
bool &NameCheckMsg() { return state().nameCheckMsg; }
bool &Lenient() { return state().lenient; }
RecordFeed *&DeftabRecordFeed() { return state().feed; }
std::int16_t &Section() { return state().section; }
std::array<tree::decl *, MaxSearch + 1> &search_result() { return state().searchResult; }
int &search_count() { return state().searchCount; }
std::array<tDeclName, MaxCdNames> &cd_names() { return state().cdNames; }

void BeginDeftab() {
  // The name-check switches are the driver's choice, made before the table
  // is begun; everything else starts afresh.
  const bool nameCheck = state().nameCheck, nameCheckMsg = state().nameCheckMsg;
  const bool lenient = state().lenient;
  RecordFeed *const feed = state().feed;
  state() = DeftabState{};
  state().feed = feed;
  state().nameCheck = nameCheck;
  state().nameCheckMsg = nameCheckMsg;
  state().lenient = lenient;
  state().rms_sts = MakeIdent("RMS-STS");
  state().rms_stv = MakeIdent("RMS-STV");
  state().rms_filename = MakeIdent("RMS-FILENAME");
  state().filler = MakeIdent("FILLER");
  Section() = 0;
  search_count() = 0;
  tree::decl *root = mdecl(NoTree, NoIdent, NoPosition, NoPosition, NoPosition, 0, NoTree, NoTree,
                           NoTree, NoTree, dkUndefined);
  if (root != nullptr)
    Enter(root);
  deftab_decls() = root;
  state().root = root;
  state().stack[0] = {1, root, root};
}

tree::decl *Declare(int level, const tDeclName &name, tTree object, const tPosition &end) {
  tree::decl *d =
      mdecl(NoTree, name.Ident, name.Pos, name.EndPos, end, static_cast<std::int16_t>(level),
            NoTree, NoTree, object, NoTree, Section());
  if (d == nullptr)
    return nullptr;
  Enter(d);
  if (level == 0) {
    d->next = deftab_decls();
    deftab_decls() = d;
    return d;
  }
  if (level == 78 && state().lenient) {
    LinkConstant(d);
    return d;
  }
  Link(d, ChooseDepth(level));
  return d;
}

tree::decl *PrecedingEntryOfLevel(int level) {
  // A record follows the records of its section (or of its file).
  if (level == 1) {
    const int depth = Section() == dkFile || Section() == dkCommunication ? 1 : 0;
    if (state().depth < depth)
      return nullptr;
    tree::decl *last = state().stack[depth].last;
    return last != nullptr && last->level == 1 ? last : nullptr;
  }
  // Only levels that ChooseDepth places by comparison have a sibling to
  // follow; the walk mirrors its search without moving the stack.
  if (level < 2 || level > 49)
    return nullptr;
  int depth = state().depth;
  if (level < state().current_level) {
    while (depth > 0 && level < state().stack[depth].level)
      --depth;
  } else if (level > state().current_level) {
    return nullptr;
  }
  tree::decl *last = state().stack[depth].last;
  if (last == nullptr || state().stack[depth].level != level)
    return nullptr;
  return last;
}

void Declare_CD(int count, tTree object, const tPosition &end) {
  if (count > MaxCdNames - 1)
    count = MaxCdNames - 1;
  Declare(1, cd_names()[0], object, end);
  for (int i = 1; i <= count; ++i)
    Declare(2, cd_names()[i], object, end);
}

tree::decl *DeclareSubordinate(const tDeclName &name, tTree object, tree::decl *parent) {
  // An entry the parse had left gets a member: whoever reads the entries
  // already left must stop, and what it made of them no longer holds.
  if (RecordFeed *feed = state().feed)
    feed->abandon();
  tree::decl *d = mdecl(parent->fields, name.Ident, name.Pos, name.EndPos, name.EndPos, 0, NoTree,
                        parent, object, NoTree, parent->kind);
  if (d == nullptr)
    return nullptr;
  Enter(d);
  parent->fields = d;
  return d;
}

tree::decl *Identify(tIdent name) {
  search_count() = 0;
  if (name == NoIdent)
    return nullptr;
  if (name >= state().newestNamed.size())
    return nullptr;
  for (tree::decl *d = state().newestNamed[name]; d != nullptr;
       d = static_cast<tree::decl *>(d->collision)) {
    search_result()[++search_count()] = d;
    if (search_count() == MaxSearch)
      break;
  }
  return search_count() > 0 ? search_result()[1] : nullptr;
}

tree::decl *IdentifyField(tIdent name, tTree qualifier) {
  auto *q = as_if<tree::decl>(qualifier);
  if (q == nullptr || name == NoIdent)
    return nullptr;
  for (tree::decl *d = FirstField(q); d != nullptr; d = NextDecl(d))
    if (d->name == name)
      return d;
  if (tree::decl *found = SearchSubtrees(FirstField(q), name))
    return found;
  if (RmsDialect() && IsRmsName(name))
    return Identify(name);
  return nullptr;
}

tree::decl *IdentifyField2(tTree reference) {
  // A OF B OF C is the chain A -> B -> C; the search wants C, B, A.
  std::vector<QualifiedName> names;
  tTree node = reference;
  while (auto *q = as_if<tree::qualification>(node)) {
    names.insert(names.begin(), {q->name, q});
    node = q->qualification;
  }
  auto *outermost = as_if<tree::name>(node);
  if (outermost == nullptr)
    return nullptr;
  names.insert(names.begin(), {outermost->name, outermost});
  std::vector<tree::decl *> found(names.size(), nullptr);
  if (!MatchQualified(names, 0, deftab_decls(), found))
    return nullptr;
  for (std::size_t i = 0; i < names.size(); ++i)
    names[i].node->decl = found[i];
  return found.back();
}

void report_ambiguity(tIdent name, const tPosition &position) {
  MessageI("ambiguous data name", xxError, position, xxIdent, &name);
  for (int i = 1; i <= search_count(); ++i)
    MessageI("possible declaration", xxInformation, position, xxPosition,
             &search_result()[i]->position);
}
