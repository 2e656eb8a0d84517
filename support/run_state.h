#pragma once
// The state of one run: each module that remembers something between calls
// keeps it in a slot of the run that is active on the calling thread, so two
// runs never see each other's identifiers, messages or files.
#include <cstddef>
#include <memory>
#include <vector>

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

  // A new slot number; called once per module state type, at start-up.
  static std::size_t allocateSlot();

  // The object in `slot`, made with T's default constructor on first use.
  template <typename T> T &get(std::size_t slot) {
    // The scanner asks for its state several times a token: keep the way to
    // a state already made short, and the making out of line.
    if (slot < objects_.size() && objects_[slot].pointer != nullptr) [[likely]]
      return *static_cast<T *>(objects_[slot].pointer);
    return make<T>(slot);
  }

private:
  [[noreturn]] static void noActiveRun();

  template <typename T> [[gnu::noinline]] T &make(std::size_t slot) {
    if (slot >= objects_.size())
      objects_.resize(slot + 1);
    // The constructor may make other modules' states first, which can grow
    // the table: index it again afterwards.
    auto made = std::make_unique<T>();
    Object &object = objects_[slot];
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
  std::vector<Object> objects_;
  std::vector<std::size_t> order_; // slots in the order their objects were made
};

// A module's handle on its state in the active run: `state().field`.
template <typename T> class RunSlot {
public:
  RunSlot() : slot_(RunState::allocateSlot()) {}
  T &operator()() const { return RunState::active().get<T>(slot_); }

private:
  const std::size_t slot_;
};
