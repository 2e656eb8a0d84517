// Builds the RDF document from the collected definitions, namespaces and Info lines; writes it.
#include "converter/definition_repository.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "converter/conversion_messages.h"
#include "converter/conversion_report.h"
#include "model/xml_helpers.h"
#include "support/trace.h"

namespace {

// Option values of the document library for the export: the definitions are
// parsed with namespace processing and appended to their parent; the document
// is written with its declaration, indented, ending in a line break.
constexpr int parseOptions = VEX_PARSE_NAMESPACES | VEX_PARSE_APPEND;
constexpr int writeOptions = VEX_WRITE_DECLARATION | VEX_WRITE_INDENT | VEX_WRITE_FINAL_NEWLINE;

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
  std::optional<std::string> namespaceName;
  std::optional<std::string> outputFile;
  std::vector<VexDataDef> defs;

  // Appends one namespace element per component under `parent`; returns the
  // innermost.
  VexXmlNode addNamespaces(VexXmlNode parent, VexCvtReport &report) const;
  // Appends the element of `def` under `parent`.
  void addDefinition(VexXmlNode parent, const VexDataDefImpl &def, VexCvtReport &report,
                     const VexDataDefDomain &definitions) const;
  void write(const VexXmlDocument &document, VexTrace &trace) const;
};

VexCvtRepository::VexCvtRepository(const char *outputFile, const char *namespaceName)
    : impl_(std::make_unique<VexCvtRepositoryImpl>()) {
  impl_->outputFile = optionalText(outputFile);
  impl_->namespaceName = optionalText(namespaceName);
}

VexCvtRepository::~VexCvtRepository() = default;

void VexCvtRepository::addDef(VexDataDefImpl &def) { impl_->defs.emplace_back(&def); }

void VexCvtRepository::doExport(VexCvtReport &report, const VexDataDefDomain &definitions,
                                VexTrace &trace) {
  VEX_TRACE(trace) << "export: " << impl_->defs.size() << " stand-alone definitions";
  if (impl_->defs.empty()) {
    report.message(vexCblMsg::nothingToExport);
    return;
  }
  VexXmlDocument document = vexCreateDoc();
  VexXmlNode root = tpzAddElem(document.node(), vexRootElementName());
  root.setAttribute("xmlns:rdf", vexRdfNamespace());
  VexXmlNode formats = tpzAddElem(impl_->addNamespaces(root, report), vexDomainMsgFmt());
  for (const VexDataDef &def : impl_->defs)
    impl_->addDefinition(formats, *def, report, definitions);
  impl_->write(document, trace);
}

VexXmlNode VexCvtRepositoryImpl::addNamespaces(VexXmlNode parent, VexCvtReport &report) const {
  if (!namespaceName)
    return parent;
  for (const std::string &component : splitNamespace(*namespaceName)) {
    parent = tpzAddElem(parent, vexDomainNamespace());
    parent.setAttribute(vexAttrName(), component);
    report.message(vexCblMsg::namespaceExported(component));
  }
  return parent;
}

void VexCvtRepositoryImpl::addDefinition(VexXmlNode parent, const VexDataDefImpl &def,
                                         VexCvtReport &report,
                                         const VexDataDefDomain &definitions) const {
  VexStanza stanza = VexMfRdfWriter::fillStanza(def, definitions);
  std::string markup = vexToMbcs(stanza.getAttrValue("definition"));
  vexParseDoc(markup.data(), markup.size(), parent, parseOptions);
  VexXmlNode element = parent.getLastChildElement();
  std::string name = vexToMbcs(def.name());
  element.setAttribute(vexAttrName(), name);
  std::string description = vexToMbcs(stanza.getAttrValue("description"));
  if (!description.empty())
    tpzAddText(tpzAddElem(element, vexElementDescription()), description);
  report.message(vexCblMsg::definitionExported(name));
}

void VexCvtRepositoryImpl::write(const VexXmlDocument &document, VexTrace &trace) const {
  if (!outputFile) {
    VEX_TRACE(trace) << "export: document written to the standard output";
    vexWriteNode(document.node(), std::cout, writeOptions, nullptr, "");
    return;
  }
  std::ofstream out(*outputFile, std::ios::out | std::ios::trunc | std::ios::binary);
  // An output file that cannot be opened is not a conversion error: the run
  // ends normally without a document, as it always has.
  if (!out) {
    VEX_TRACE(trace) << "export: output file '" << *outputFile
                     << "' cannot be opened, no document written";
    return;
  }
  vexWriteNode(document.node(), out, writeOptions, nullptr, "");
  VEX_TRACE(trace) << "export: document written to '" << *outputFile << "'";
}
