#pragma once
#include <memory>

#include "model/definition_model.h"

// The definition repository: collects the definitions of one conversion in
// the order they are produced and writes them as one XML/RDF document.

// The repository's state: the namespace, the output file name and the
// collected definitions.
class VexCvtRepositoryImpl;

class VexCvtRepository {
public:
  // A repository writing to `outputFile` (null: the standard output) under
  // the dotted namespace `namespaceName` (null: none). Both texts are copied.
  // The new repository becomes the current one.
  VexCvtRepository(const char *outputFile, const char *namespaceName);
  // Releases the collected definitions; the current repository is then none
  // if it was this one.
  ~VexCvtRepository();
  VexCvtRepository(const VexCvtRepository &) = delete;
  VexCvtRepository &operator=(const VexCvtRepository &) = delete;

  // The most recently constructed repository still alive, or null.
  static VexCvtRepository *getInstance();

  // Appends a counted handle to `def`; always true.
  bool addDef(VexDataDefImpl *def);

  // With nothing collected: reports "Warning: Nothing to export. No converted
  // definitions exist." and touches no file. Otherwise builds the document
  // (root, one element per namespace component, the definitions element, one
  // element per definition with its name and description), reports an
  // "Info: " line per namespace component and per definition, and writes it
  // to the output file, truncating it, or to the standard output. A file that
  // cannot be opened is silently not written. Model and XML errors
  // (VexError) propagate.
  void doExport();

private:
  std::unique_ptr<VexCvtRepositoryImpl> impl_;
};
