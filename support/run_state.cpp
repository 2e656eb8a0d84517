// The active run of each thread and the teardown of a run's module states.
#include "support/run_state.h"

#include <stdexcept>

RunState::~RunState() {
  for (auto slot = order_.rbegin(); slot != order_.rend(); ++slot) {
    Object &object = objects_[static_cast<std::size_t>(*slot)];
    object.destroy(object.pointer);
    object.pointer = nullptr;
  }
}

RunState::Scope::Scope(RunState &run) : previous_(activeRun_) { activeRun_ = &run; }

RunState::Scope::~Scope() { activeRun_ = previous_; }

void RunState::noActiveRun() {
  throw std::logic_error("no active run: a stateful module was called outside a run");
}
