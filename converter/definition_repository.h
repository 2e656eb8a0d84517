#pragma once
// VexCvtRepository: writes one conversion's definitions into its document as they come, exports it.
#include <memory>
#include <string>

#include "converter/convert.h"
#include "model/definition_model.h"
#include "model/document_file.h"

// The definition repository: takes the stand-alone definitions of one
// conversion in the order they are produced, writes each into the document
// at once (out of sight: see model/document_file.h) and lets it go, and puts
// the document in place as the output when the conversion has succeeded.

class VexCvtReport;
class VexTrace;

// The repository's state: namespace, output, the document so far, the names
// to report.
class VexCvtRepositoryImpl;

class VexCvtRepository {
public:
  // A repository writing to `outputFile` (null: the standard output) under
  // the dotted namespace `namespaceName` (null: none); a reference to a
  // registered definition is written with its name in `definitions`, which
  // must outlive the repository. Both texts are copied.
  // With `document`, the document is put there when exported instead of
  // into a file.
  VexCvtRepository(const char *outputFile, const char *namespaceName,
                   const VexDataDefDomain &definitions, std::string *document = nullptr);
  // Drops the document unless it has been exported.
  ~VexCvtRepository();
  VexCvtRepository(const VexCvtRepository &) = delete;
  VexCvtRepository &operator=(const VexCvtRepository &) = delete;

  // Writes the element of `def`, which must be complete, into the document:
  // its name and description, a reference written with the name it refers
  // to. Keeps no handle to `def`. The first definition opens the document:
  // root, one element per namespace component, the definitions element.
  void addDef(VexDataDefImpl &def);
  // How the document's spool is helped along (model/document_file.h); set
  // before the first definition.
  void spoolPace(VexDocumentFile::Pace pace);

  // With nothing added: reports "Warning: Nothing to export. No converted
  // definitions exist." and touches no file. Otherwise reports an "Info: "
  // line per namespace component and per definition through `report`, then
  // the first definition that could not be written (VexError), then writes
  // the document to the output file, truncating it, or to the standard
  // output. A file that cannot be opened is silently not written (the trace
  // says so). A text XML cannot carry raises VexError and writes nothing.
  void doExport(VexCvtReport &report, VexTrace &trace);
  // What the export did with the document; notConverted before it.
  const VexDocumentOutcome &outcome() const;

private:
  std::unique_ptr<VexCvtRepositoryImpl> impl_;
};
