#include "cobol/copy.h"

#include <vector>

#include "cobol/Scanner.h"

bool do_copy = true;

namespace {

// Saved scanner contexts, one per open copy-file level.
std::vector<tScanContext> levels;

} // namespace

void init_copy_pars() { levels.clear(); }

void push(tIdent file) {
  levels.push_back(GetScanContext());
  tScanContext context = GetScanContext();
  context.File = file;
  SetScanContext(context);
}

void pop() {
  if (levels.empty())
    return;
  SetScanContext(levels.back());
  levels.pop_back();
}

int CopyStatementReduced(tree::s_copy *) { return 0; }
