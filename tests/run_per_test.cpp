// Every test runs in a fresh run of its own, as every invocation of the
// program does: module state made by one test is gone before the next, and
// tests that call stateful modules need no set-up for it.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "support/run_state.h"

namespace {

class RunPerTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo &) override {
    run_.emplace();
    scope_.emplace(*run_);
  }
  void OnTestEnd(const ::testing::TestInfo &) override {
    scope_.reset();
    run_.reset();
  }

  std::optional<RunState> run_;
  std::optional<RunState::Scope> scope_;
};

// GoogleTest owns its listeners and deletes them at the end of the program.
[[maybe_unused]] const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(std::make_unique<RunPerTest>().release());
  return true;
}();

} // namespace
