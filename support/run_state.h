#pragma once
// The state of one run: each module that remembers something between calls
// keeps it in a slot of the run that is active on the calling thread, so two
// runs never see each other's identifiers, messages or files.
#include <array>
#include <cstddef>
#include <memory>
#include <vector>

// The slots of a run, one per module state (support/run_slots.def). Fixed at
// compile time, so no slot number is handed out while the program runs and a
// module's handle is a constant.
enum class RunSlotId : std::size_t {
#define RUN_SLOT(name) name,
#include "support/run_slots.def"
  count
};

// Owns the module states of one run. A state is made on its module's first
// use while the run is active and destroyed with the run, in the reverse
// order of making, so a state may use the ones made before it while it is
// torn down.
class RunState {
public:
  RunState() = default;
  ~RunState();
  RunState(const RunState &) = delete;
  RunState &operator=(const RunState &) = delete;

  // Makes `run` the active run of this thread for the scope's lifetime and
  // restores the one active before (runs may nest: a test may start one
  // while another is active).
  class Scope {
  public:
    explicit Scope(RunState &run);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

  private:
    RunState *previous_;
  };

  // The run active on this thread. Calling a stateful module outside any run
  // is a programming error: std::logic_error.
  static RunState &active() {
    if (activeRun_ == nullptr)
      noActiveRun();
    return *activeRun_;
  }

  // The object in `slot`, made with T's default constructor on first use.
  template <typename T> T &get(RunSlotId slot) {
    // The scanner asks for its state several times a token: keep the way to
    // a state already made short, and the making out of line.
    void *pointer = objects_[static_cast<std::size_t>(slot)].pointer;
    if (pointer != nullptr) [[likely]]
      return *static_cast<T *>(pointer);
    return make<T>(slot);
  }

private:
  [[noreturn]] static void noActiveRun();

  template <typename T> [[gnu::noinline]] T &make(RunSlotId slot) {
    // The constructor may make other modules' states first; they are
    // destroyed after this one.
    auto made = std::make_unique<T>();
    Object &object = objects_[static_cast<std::size_t>(slot)];
    object.pointer = made.release();
    object.destroy = [](void *pointer) { delete static_cast<T *>(pointer); };
    order_.push_back(slot);
    return *static_cast<T *>(object.pointer);
  }
  static inline thread_local RunState *activeRun_ = nullptr;

  struct Object {
    void *pointer = nullptr;
    void (*destroy)(void *) = nullptr;
  };
  std::array<Object, static_cast<std::size_t>(RunSlotId::count)> objects_{};
  std::vector<RunSlotId> order_; // slots in the order their objects were made
};

// A module's handle on its state in the active run: `state().field`.
template <typename T> class RunSlot {
public:
  explicit constexpr RunSlot(RunSlotId slot) : slot_(slot) {}
  T &operator()() const { return RunState::active().get<T>(slot_); }

private:
  RunSlotId slot_;
};
