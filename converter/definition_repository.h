#pragma once
// VexCvtRepository: collects one conversion's definitions and exports them as one document.
#include <memory>

#include "model/definition_model.h"

// The definition repository: collects the stand-alone definitions of one
// conversion in the order they are produced and writes them as one XML/RDF
// document.

class VexCvtReport;
class VexTrace;

// The repository's state: the namespace, the output file name and the
// collected definitions.
class VexCvtRepositoryImpl;

class VexCvtRepository {
public:
  // A repository writing to `outputFile` (null: the standard output) under
  // the dotted namespace `namespaceName` (null: none). Both texts are copied.
  VexCvtRepository(const char *outputFile, const char *namespaceName);
  // Releases the collected definitions.
  ~VexCvtRepository();
  VexCvtRepository(const VexCvtRepository &) = delete;
  VexCvtRepository &operator=(const VexCvtRepository &) = delete;

  // Appends a counted handle to `def`.
  void addDef(VexDataDefImpl &def);

  // With nothing collected: reports "Warning: Nothing to export. No converted
  // definitions exist." and touches no file. Otherwise builds the document
  // (root, one element per namespace component, the definitions element, one
  // element per definition with its name and description; a reference to a
  // registered definition is written with its name in `definitions`),
  // reports an "Info: " line per namespace component and per definition
  // through `report`, and writes it to the output file, truncating it, or to
  // the standard output. A file that cannot be opened is silently not
  // written (the trace says so). Model and XML errors (VexError) propagate.
  void doExport(VexCvtReport &report, const VexDataDefDomain &definitions, VexTrace &trace);

private:
  std::unique_ptr<VexCvtRepositoryImpl> impl_;
};
