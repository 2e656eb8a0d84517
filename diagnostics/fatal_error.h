#pragma once
// The one way a run ends early: thrown after a Fatal message was stored.
#include <stdexcept>

// Thrown by the module that reported a Fatal message (the message store, the
// scanner, the tree and copy stages, memory exhaustion) once the message is
// stored. Whoever started the run catches it, prints the messages collected
// so far and ends the run with its fatal status; the run's state is released
// by the run's owner on the way out.
class FatalError : public std::runtime_error {
public:
  FatalError() : std::runtime_error("the run ended on a fatal message") {}
};
