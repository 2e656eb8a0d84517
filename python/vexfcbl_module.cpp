// The native half of the vexfcbl Python module: copybooks parsed from text in
// memory, their documents and record layouts, and the keyword tables that
// map Python's keyword arguments onto the library's options.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "converter/conversion_run.h"
#include "decoder/copybook_set.h"
#include "decoder/decode_plan.h"
#include "layout/layout_output.h"
#include "python/keywords.h"
#include "python/stream_decoding.h"
#include "record/model_builder.h"

namespace py = pybind11;

namespace {

using namespace vexpy;

// What parse() reads a copybook under.
struct ParseSettings {
  std::string name = "copybook";
  FrontEndOptions frontEnd;
  VexCblConfig conversion;
  std::vector<CopybookText> copybooks;

  ParseSettings() {
    // A library prints nothing and searches no folder it was not given.
    frontEnd.messages = nullptr;
    frontEnd.currentDirectory = false;
    conversion.messages = nullptr;
  }
};

std::string withLeadingDot(std::string extension) {
  return extension.empty() || extension.front() == '.' ? extension : "." + extension;
}

const Keyword<ParseSettings> parseKeywords[] = {
    {"name", "str", "the name messages and positions give the copybook (default 'copybook')",
     [](ParseSettings &s, py::handle v, const char *n) { s.name = textOf(v, n); }},
    {"lenient", "bool",
     "read what compilers accept beyond the default rules, each with a warning (-lenient)",
     [](ParseSettings &s, py::handle v, const char *n) {
       s.frontEnd.lenient = s.conversion.lenient = flagOf(v, n);
     }},
    {"program", "bool", "the text is a program file: the records of its DATA DIVISION (-program)",
     [](ParseSettings &s, py::handle v, const char *n) { s.frontEnd.program = flagOf(v, n); }},
    {"free_format", "bool", "free format instead of the fixed reference format (-f)",
     [](ParseSettings &s, py::handle v, const char *n) { s.frontEnd.freeFormat = flagOf(v, n); }},
    {"comma", "bool", "DECIMAL-POINT IS COMMA: pictures take ',' as the decimal point (-c)",
     [](ParseSettings &s, py::handle v, const char *n) {
       s.conversion.commaDecimalPoint = flagOf(v, n);
     }},
    {"copy_dirs", "sequence of str",
     "folders COPY searches, in order, after `copybooks` (-d); none by default",
     [](ParseSettings &s, py::handle v, const char *n) {
       s.frontEnd.copyDirectories = pathsOf(v, n);
     }},
    {"copy_extensions", "sequence of str",
     "copybook extensions COPY tries after the bare name and .cpy, the last first (-e)",
     [](ParseSettings &s, py::handle v, const char *n) {
       s.frontEnd.copyExtensions.clear();
       for (std::string &extension : pathsOf(v, n))
         s.frontEnd.copyExtensions.push_back(withLeadingDot(std::move(extension)));
     }},
    {"copybooks", "mapping of str to str or bytes",
     "copybooks held in memory, by name; COPY asks them first, names compared without regard "
     "to case, as written, then with .cpy and the copy_extensions",
     [](ParseSettings &s, py::handle v, const char *n) {
       if (!py::isinstance<py::dict>(v) && !py::hasattr(v, "items"))
         wrongType(n, "a mapping of str to str or bytes", v);
       s.copybooks.clear();
       for (py::handle item : v.attr("items")()) {
         py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
         s.copybooks.push_back({textOf(pair[0], n), bytesOf(pair[1], n)});
       }
     }},
};

// What document() converts under.
struct DocumentSettings {
  VexCblConfig conversion;
};

const Keyword<DocumentSettings> documentKeywords[] = {
    {"namespace", "str", "the dotted namespace the definitions are put in (-ns)",
     [](DocumentSettings &s, py::handle v, const char *n) {
       s.conversion.namespaceName = textOf(v, n);
     }},
    {"descriptions", "bool", "write each definition's description (default True; False is -dnd)",
     [](DocumentSettings &s, py::handle v, const char *n) {
       s.conversion.noDescription = !flagOf(v, n);
     }},
    {"text_numbers_as_strings", "bool", "DISPLAY numbers become strings (-tn)",
     [](DocumentSettings &s, py::handle v, const char *n) {
       s.conversion.textNumbersAsStrings = flagOf(v, n);
     }},
    {"packed_default_as_text", "bool", "packed and zoned VALUEs as text under compat=300 (-ta)",
     [](DocumentSettings &s, py::handle v, const char *n) {
       s.conversion.packedDefaultAsText = flagOf(v, n);
     }},
    {"compat", "int", "0, or 300 for the level-300 document (-compat)",
     [](DocumentSettings &s, py::handle v, const char *n) {
       if (!py::isinstance<py::int_>(v) || py::isinstance<py::bool_>(v))
         wrongType(n, "an int", v);
       const long level = v.cast<long>();
       if (level != 0 && level != VexCblConfig::compat300)
         throw py::value_error(std::string(n) + " must be 0 or 300, not " + std::to_string(level));
       s.conversion.compatLevel = static_cast<std::int32_t>(level);
     }},
    {"level_restrictions", "bool", "check the level-number rules of the document (-r)",
     [](DocumentSettings &s, py::handle v, const char *n) {
       s.conversion.levelRestrictions = flagOf(v, n);
     }},
};

// ---- copybooks ----------------------------------------------------------

py::list messageList(const std::vector<SourceMessage> &messages) {
  py::list list;
  for (const SourceMessage &m : messages)
    list.append(py::make_tuple(m.messageClass, py::bytes(m.file).attr("decode")("utf-8", "replace"),
                               m.line, m.column, m.item, m.text));
  return list;
}

// One parsed copybook. The parse is kept for the record model (made once,
// under a lock: a run is used by one thread at a time); a document is
// converted from a parse of its own, so documents of one copybook may be
// made on several threads at once.
class NativeCopybook {
public:
  NativeCopybook(std::string text, ParseSettings settings)
      : text_(std::move(text)), settings_(std::move(settings)) {
    settings_.frontEnd.copybooks =
        CopybookTable(settings_.copybooks, settings_.frontEnd.copyExtensions);
    py::gil_scoped_release unlocked;
    parsed_ = parse();
  }

  int errorCount() const { return parsed_.errorCount(); }
  bool fatal() const { return parsed_.fatal(); }
  py::list messages() const { return messageList(parsed_.messages()); }
  const std::string &name() const { return settings_.name; }
  bool program() const { return settings_.frontEnd.program; }

  // (completed, the document, the conversion's messages)
  py::tuple document(const py::kwargs &options) const {
    DocumentSettings settings{settings_.conversion};
    applyKeywords(documentKeywords, settings, options, "document");
    std::string document;
    std::vector<SourceMessage> values;
    bool completed = false;
    {
      py::gil_scoped_release unlocked;
      settings.conversion.document = &document;
      settings.conversion.messageValues = &values;
      ParsedInput input = parse();
      completed = input.errorCount() == 0 &&
                  convertInput(input, settings.conversion) == VexCvtStatus::completed;
    }
    return py::make_tuple(completed, py::bytes(document), messageList(values));
  }

  // (completed, the layout as JSON text, the record model's messages)
  py::tuple layout() {
    std::lock_guard<std::mutex> lock(layoutLock_);
    makeLayout();
    return py::make_tuple(layout_->completed, py::bytes(layout_->json),
                          messageList(layout_->messages));
  }

  // A decoder of the records, with those of the copybooks `others` after
  // them (vexfcbl-decode's -i repeated); ValueError when a copybook has no
  // record model or two declare a record of the same name.
  py::object decoder(const py::list &others, const py::kwargs &options) {
    std::shared_ptr<const RecordModel> model = recordModel();
    if (others.empty())
      return makeDecoder(model, settings_.conversion.commaDecimalPoint, options);
    std::vector<std::pair<std::string, std::shared_ptr<const RecordModel>>> more;
    for (py::handle other : others)
      more.emplace_back(other.cast<NativeCopybook &>().name(),
                        other.cast<NativeCopybook &>().recordModel());
    auto joined = std::make_shared<RecordModel>(*model);
    try {
      py::gil_scoped_release unlocked;
      std::vector<std::string> recordFiles(joined->records.size(), name());
      for (auto &[bookName, other] : more)
        appendCopybook(*joined, recordFiles, RecordModel(*other), bookName);
      joined->index();
    } catch (const PlanError &error) {
      std::string message = error.message;
      const std::string program = "vexfcbl-decode: ";
      if (message.starts_with(program))
        message.erase(0, program.size());
      while (!message.empty() && message.back() == '\n')
        message.pop_back();
      throw py::value_error(message);
    }
    return makeDecoder(joined, settings_.conversion.commaDecimalPoint, options);
  }

  // The record model, made once; ValueError when there is none.
  std::shared_ptr<const RecordModel> recordModel() {
    std::shared_ptr<const RecordModel> model;
    {
      std::lock_guard<std::mutex> lock(layoutLock_);
      makeLayout();
      model = layout_->model;
    }
    if (!model)
      throw py::value_error("the copybook " + name() + " has no record layout to decode by");
    return model;
  }

private:
  ParsedInput parse() const {
    return parseInputText({settings_.name, text_}, settings_.frontEnd,
                          settings_.conversion.commaDecimalPoint);
  }

  struct Layout {
    bool completed;
    std::string json;
    std::vector<SourceMessage> messages;
    std::shared_ptr<const RecordModel> model; // for decoders
  };

  // The record model and its layout, made once; the caller holds layoutLock_.
  void makeLayout() {
    if (layout_)
      return;
    py::gil_scoped_release unlocked;
    std::vector<SourceMessage> values;
    VexCblConfig config = settings_.conversion;
    config.messageValues = &values;
    std::string json;
    bool completed = false;
    std::shared_ptr<const RecordModel> kept;
    if (parsed_.errorCount() == 0) {
      RunState::Scope scope(parsed_.parts.front().run());
      try {
        auto model = std::make_shared<RecordModel>(
            parsed_.program ? buildProgramRecordModel(parsed_.programParts(), config)
                            : buildRecordModel(parsed_.parts.front().entries(), config));
        std::ostringstream out;
        writeLayoutJson(out, *model);
        json = out.str();
        completed = true;
        kept = std::move(model);
      } catch (const ModelError &) {
      }
    }
    layout_.emplace(Layout{completed, std::move(json), std::move(values), std::move(kept)});
  }

  std::string text_;
  ParseSettings settings_;
  ParsedInput parsed_;
  std::mutex layoutLock_;
  std::optional<Layout> layout_;
};

std::unique_ptr<NativeCopybook> parseCopybook(py::handle copybook, const py::kwargs &options) {
  ParseSettings settings;
  applyKeywords(parseKeywords, settings, options, "parse");
  return std::make_unique<NativeCopybook>(bytesOf(copybook, "copybook"), std::move(settings));
}

} // namespace

PYBIND11_MODULE(_vexfcbl, module) {
  module.doc() = "The native half of vexfcbl: use the vexfcbl package, not this module.";
  py::class_<NativeCopybook>(module, "NativeCopybook",
                             "A parsed copybook; vexfcbl.Copybook wraps it.")
      .def_property_readonly("error_count", &NativeCopybook::errorCount,
                             "Error messages of the parse (a fatal end counts as one).")
      .def_property_readonly("fatal", &NativeCopybook::fatal, "The parse ended on a Fatal message.")
      .def_property_readonly("messages", &NativeCopybook::messages,
                             "The parse's messages: (class, file, line, column, item, text).")
      .def_property_readonly("name", &NativeCopybook::name, "The copybook's name.")
      .def_property_readonly("program", &NativeCopybook::program, "Parsed as a program file.")
      .def("document", &NativeCopybook::document,
           ("document(**options) -> (completed, document bytes, messages)" +
            keywordDoc(documentKeywords))
               .c_str())
      .def("layout", &NativeCopybook::layout,
           "layout() -> (completed, layout JSON bytes, messages); made once.")
      .def("decoder", &NativeCopybook::decoder,
           ("decoder(others, **options) -> NativeDecoder: the records of this copybook, then "
            "those of the NativeCopybooks in the list others" +
            decoderKeywordDoc())
               .c_str());
  defineDecoding(module);
  module.def("parse", &parseCopybook, py::arg("copybook"),
             ("parse(copybook, **options) -> NativeCopybook" + keywordDoc(parseKeywords)).c_str());
  module.def(
      "parse_keywords", [] { return keywordList(parseKeywords); },
      "The keyword arguments of parse(): (name, type, help) each.");
  module.def(
      "document_keywords", [] { return keywordList(documentKeywords); },
      "The keyword arguments of Copybook.document(): (name, type, help) each.");
}
