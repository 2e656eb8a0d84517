#include "converter/definition_repository.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "support/trace.h"
#include "model/xml_helpers.h"
#include "converter/conversion_report.h"

namespace {

TRC1_EPB trace{"VEXCVREP"};

VexCvtRepository *current = nullptr;

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
  VexXmlNode addNamespaces(VexXmlNode parent) const;
  // Appends the element of `def` under `parent`.
  void addDefinition(VexXmlNode parent, const VexDataDefImpl &def) const;
  void write(const VexXmlDocument &document) const;
};

VexCvtRepository::VexCvtRepository(const char *outputFile, const char *namespaceName)
    : impl_(std::make_unique<VexCvtRepositoryImpl>()) {
  VEX_TRACE(trace, "VexCvtRepository::VexCvtRepository");
  VEX_TRACE_ARGS(trace) << "outputFile"
                        << "(" << outputFile << ") "
                        << "namespaceName"
                        << "(" << namespaceName << ") ";
  impl_->outputFile = optionalText(outputFile);
  impl_->namespaceName = optionalText(namespaceName);
  current = this;
}

VexCvtRepository::~VexCvtRepository() {
  if (current == this)
    current = nullptr;
}

VexCvtRepository *VexCvtRepository::getInstance() { return current; }

bool VexCvtRepository::addDef(VexDataDefImpl *def) {
  VEX_TRACE(trace, "VexCvtRepository::addDef");
  VEX_TRACE_ARGS(trace) << "def"
                        << "(" << (def ? vexToMbcs(def->name()) : "NULL") << ") ";
  impl_->defs.emplace_back(def);
  return VEX_TRACE_RESULT(true);
}

void VexCvtRepository::doExport() {
  VEX_TRACE(trace, "VexCvtRepository::doExport");
  if (impl_->defs.empty()) {
    vexCvtReportMsg("Warning: Nothing to export. No converted definitions exist.");
    return;
  }
  VexXmlDocument document = vexCreateDoc();
  VexXmlNode root = tpzAddElem(document.node(), vexRootElementName());
  root.setAttribute("xmlns:rdf", vexRdfNamespace());
  VexXmlNode formats = tpzAddElem(impl_->addNamespaces(root), vexDomainMsgFmt());
  for (const VexDataDef &def : impl_->defs)
    impl_->addDefinition(formats, *def);
  impl_->write(document);
}

VexXmlNode VexCvtRepositoryImpl::addNamespaces(VexXmlNode parent) const {
  VEX_TRACE(trace, "VexCvtRepositoryImpl::addNamespaces");
  if (!namespaceName)
    return parent;
  VexNamespaceDomain &domain = VexNamespaceDomain::getInstance();
  for (const std::string &component : splitNamespace(*namespaceName)) {
    domain.declare(domain.getId(vexToUnicode(component, false)), 0);
    parent = tpzAddElem(parent, vexDomainNamespace());
    parent.setAttribute(vexAttrName(), component);
    vexCvtReportMsg("Info: Namespace exported '" + component + "'.");
  }
  return parent;
}

void VexCvtRepositoryImpl::addDefinition(VexXmlNode parent, const VexDataDefImpl &def) const {
  VEX_TRACE(trace, "VexCvtRepositoryImpl::addDefinition");
  VexStanza stanza = VexMfRdfWriter::fillStanza(def);
  std::string markup = vexToMbcs(stanza.getAttrValue("definition"));
  VEX_TRACE_DETAIL(trace) << "Definition markup"
                          << "(" << markup << ") ";
  vexParseDoc(markup.data(), markup.size(), parent, parseOptions);
  VexXmlNode element = parent.getLastChildElement();
  std::string name = vexToMbcs(def.name());
  element.setAttribute(vexAttrName(), name);
  std::string description = vexToMbcs(stanza.getAttrValue("description"));
  if (!description.empty())
    tpzAddText(tpzAddElem(element, vexElementDescription()), description);
  vexCvtReportMsg("Info: Definition exported '" + name + "'.");
}

void VexCvtRepositoryImpl::write(const VexXmlDocument &document) const {
  VEX_TRACE(trace, "VexCvtRepositoryImpl::write");
  if (!outputFile) {
    vexWriteNode(document.node(), std::cout, writeOptions, nullptr, "");
    return;
  }
  std::ofstream out(*outputFile, std::ios::out | std::ios::trunc | std::ios::binary);
  // An output file that cannot be opened is not a conversion error: the run
  // ends normally without a document, as it always has.
  if (!out) {
    VEX_TRACE_DETAIL(trace) << "Output file not opened"
                            << "(" << *outputFile << ") ";
    return;
  }
  vexWriteNode(document.node(), out, writeOptions, nullptr, "");
}
