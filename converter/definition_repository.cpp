// Streams the RDF document definition by definition into its spool; Info lines, export, output.
#include "converter/definition_repository.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "converter/conversion_messages.h"
#include "converter/conversion_report.h"
#include "model/document_file.h"
#include "model/xml_stream_writer.h"
#include "support/library_error.h"
#include "support/trace.h"

namespace {

// The document leaves the writer's buffer for the spool in pieces this size.
constexpr std::size_t flushSize = 1 << 16;

std::optional<std::string> optionalText(const char *text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

// The components of a dotted namespace, left to right; empty ones included.
std::vector<std::string> splitNamespace(const std::string &text) {
  std::vector<std::string> components;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type dot = text.find('.', start);
    components.push_back(text.substr(start, dot - start));
    if (dot == std::string::npos)
      return components;
    start = dot + 1;
  }
}

} // namespace

class VexCvtRepositoryImpl {
public:
  VexCvtRepositoryImpl(const char *outputFile, const char *namespaceName,
                       const VexDataDefDomain &definitions, std::string *document)
      : namespaceName(optionalText(namespaceName)), outputFile(optionalText(outputFile)),
        document(document), definitions(definitions) {}

  std::optional<std::string> namespaceName;
  std::optional<std::string> outputFile;
  std::string *document;
  const VexDataDefDomain &definitions;
  std::size_t added = 0;
  // The definitions written, for the Info lines of the export: the registry
  // identifier of each, whose name the definition took when it was
  // registered, or 0 for one the registry does not name, whose name is kept
  // here, end to end (names may hold any byte). Copying every name (12 MB
  // for the mixed million, in a string that doubled as it grew) was a
  // tenth of the copying on the converting thread.
  std::vector<std::uint32_t> written;
  std::string names;
  std::vector<std::uint32_t> nameEnds;
  // The first definition whose markup could not be read; the document
  // stops before it.
  std::optional<VexError> unreadable;
  // A namespace or a description holds a character XML cannot carry: the
  // document cannot be written, but later definitions are still checked.
  bool unwritable = false;
  VexDocumentOutcome outcome;
  std::unique_ptr<VexDocumentFile> file;
  VexDocumentFile::Pace spoolPace = VexDocumentFile::Pace::prefill;
  std::string pending;
  VexXmlStreamWriter writer{pending};
  // The spool refused a piece of a definition's markup: the error ends the
  // conversion once the definition is done, where a whole definition's
  // piece would have met it.
  std::optional<VexError> spoolError;

  void open();
  void flush();
  void finish(VexTrace &trace);
};

VexCvtRepository::VexCvtRepository(const char *outputFile, const char *namespaceName,
                                   const VexDataDefDomain &definitions, std::string *document)
    : impl_(std::make_unique<VexCvtRepositoryImpl>(outputFile, namespaceName, definitions,
                                                   document)) {}

VexCvtRepository::~VexCvtRepository() = default;

void VexCvtRepositoryImpl::open() {
  file = document != nullptr ? std::make_unique<VexDocumentFile>(document)
                             : std::make_unique<VexDocumentFile>(outputFile.value_or(""), spoolPace);
  // A definition's markup goes to the spool in pieces as it is written; a
  // definition that turns out unreadable or unwritable halfway leaves part of
  // itself in the spool, but such a document is never put in place.
  writer.drainAt(flushSize, [this] {
    if (spoolError)
      return;
    try {
      flush();
    } catch (const VexError &error) {
      spoolError = error;
    }
  });
  writer.declaration();
  writer.startElement(vexRootElementName(), {{"xmlns:rdf", vexRdfNamespace()}});
  if (namespaceName)
    for (const std::string &component : splitNamespace(*namespaceName)) {
      std::string name = vexDocumentText(component);
      unwritable = unwritable || !VexXmlStreamWriter::isXmlText(name);
      writer.startElement(vexDomainNamespace(), {{vexAttrName(), std::move(name)}});
    }
  writer.startElement(vexDomainMsgFmt(), {});
}

void VexCvtRepositoryImpl::flush() {
  file->write(pending);
  pending.clear();
}

void VexCvtRepository::addDef(VexDataDefImpl &def) {
  VexCvtRepositoryImpl &impl = *impl_;
  ++impl.added;
  if (impl.unreadable)
    return;
  if (!impl.file)
    impl.open();
  try {
    if (!VexMfRdfWriter::writeDefinition(def, impl.definitions,
                                         impl.unwritable ? nullptr : &impl.writer))
      impl.unwritable = true;
  } catch (const VexError &error) {
    impl.unreadable = error;
    return;
  }
  impl.written.push_back(def.id().value());
  if (!def.id().isValid()) {
    impl.names += def.name();
    impl.nameEnds.push_back(static_cast<std::uint32_t>(impl.names.size()));
  }
  if (impl.spoolError)
    throw VexError(*impl.spoolError);
  if (impl.pending.size() >= flushSize)
    impl.flush();
}

void VexCvtRepository::spoolPace(VexDocumentFile::Pace pace) { impl_->spoolPace = pace; }

void VexCvtRepository::doExport(VexCvtReport &report, VexTrace &trace) {
  VexCvtRepositoryImpl &impl = *impl_;
  VEX_TRACE(trace) << "export: " << impl.added << " stand-alone definitions";
  if (impl.added == 0) {
    report.message(vexCblMsg::nothingToExport);
    impl.outcome.end = VexDocumentEnd::nothingToExport;
    return;
  }
  if (impl.namespaceName)
    for (const std::string &component : splitNamespace(*impl.namespaceName))
      report.message(vexCblMsg::namespaceExported(component));
  std::size_t start = 0;
  std::size_t kept = 0;
  std::string line;
  for (std::uint32_t id : impl.written) {
    std::string_view name;
    if (id != 0) {
      name = impl.definitions.nameOf(VexDataDefId(id));
    } else {
      const std::uint32_t end = impl.nameEnds[kept++];
      name = std::string_view(impl.names).substr(start, end - start);
      start = end;
    }
    vexCblMsg::definitionExported(line, name);
    report.message(line);
  }
  if (impl.unreadable)
    throw *impl.unreadable;
  if (impl.unwritable)
    throw VexError("XML write: invalid or illegal XML character");
  impl.finish(trace);
}

void VexCvtRepositoryImpl::finish(VexTrace &trace) {
  while (writer.depth() > 0)
    writer.endElement();
  writer.endDocument();
  flush();
  // An output file that cannot be opened is not a conversion error: the run
  // ends normally without a document, as it always has.
  if (!file->commit()) {
    outcome = {VexDocumentEnd::notWritten, std::strerror(errno)};
    VEX_TRACE(trace) << "export: output file '" << *outputFile
                     << "' cannot be opened, no document written";
    return;
  }
  VEX_TRACE(trace) << "export: document written to "
                   << (document != nullptr ? std::string("memory")
                       : outputFile        ? "'" + *outputFile + "'"
                                           : std::string("the standard output"));
  outcome.end = VexDocumentEnd::written;
}

const VexDocumentOutcome &VexCvtRepository::outcome() const { return impl_->outcome; }
