#pragma once
// The top-level entries of a copybook handed on as the parse closes them, so
// that a conversion may read each record while the parse reads the next.

namespace tree {
struct decl;
}

// Told of every top-level declaration as the parse makes it, on the parsing
// thread. When `opened(entry)` is called, every top-level entry before
// `entry` is final, members, clauses, `next` and all: the parse never
// changes an entry it has left, except by `abandon` first. Reference
// resolution, after the last entry, sets only the `decl` of reference
// nodes. The consumer may read those entries on
// another thread, with the parse's run active there too, reading only (no
// identifier made, no run state first used, no node changed).
class RecordFeed {
public:
  virtual ~RecordFeed() = default;
  // A top-level declaration was made: `entry` follows the last one opened
  // (the first call names the first top-level entry).
  virtual void opened(tree::decl *entry) = 0;
  // The parse has read its last entry and resolved its references, or
  // stopped: nothing more is opened or changed. Returns when the consumer
  // has stopped reading the tree.
  virtual void ended() noexcept = 0;
  // The parse is about to change an entry it had left (a field declared
  // below its qualifier where a reference names a missing one): returns
  // when the consumer has stopped, and what it made counts for nothing.
  virtual void abandon() noexcept = 0;
};
