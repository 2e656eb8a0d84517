// The active run of each thread and the numbering of module state slots.
#include "support/run_state.h"

#include <atomic>
#include <stdexcept>

namespace {

// Slots are numbered while the program starts (one per module state type);
// the counter never changes after that.
std::atomic<std::size_t> &slotCounter() {
  static std::atomic<std::size_t> counter{0};
  return counter;
}

} // namespace

RunState::~RunState() {
  for (auto slot = order_.rbegin(); slot != order_.rend(); ++slot) {
    Object &object = objects_[*slot];
    object.destroy(object.pointer);
    object.pointer = nullptr;
  }
}

RunState::Scope::Scope(RunState &run) : previous_(activeRun_) { activeRun_ = &run; }

RunState::Scope::~Scope() { activeRun_ = previous_; }

void RunState::noActiveRun() {
  throw std::logic_error("no active run: a stateful module was called outside a run");
}

std::size_t RunState::allocateSlot() { return slotCounter().fetch_add(1); }
