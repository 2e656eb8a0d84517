// Gives every test a run of its own, active while the test runs, so module
// state never leaks from one test into the next.
#include <gtest/gtest.h>

#include <memory>

#include "support/run_state.h"

namespace {

class RunPerTest : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo &) override {
    run_ = std::make_unique<RunState>();
    scope_ = std::make_unique<RunState::Scope>(*run_);
  }
  void OnTestEnd(const testing::TestInfo &) override {
    scope_.reset();
    run_.reset();
  }

  std::unique_ptr<RunState> run_;
  std::unique_ptr<RunState::Scope> scope_;
};

// Registered before main runs the tests; the listener list owns it.
const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new RunPerTest);
  return true;
}();

} // namespace
