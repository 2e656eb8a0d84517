// One run of the whole pipeline: ParseCopybook, then vexCblConvert in the
// front end's run, so that the converter reads its identifiers and tree.
#include "converter/conversion_run.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "converter/conversion_messages.h"
#include "converter/record_pipeline.h"
#include "diagnostics/message_store.h"
#include "support/run_state.h"

namespace {

// True when `output` is the file at `path` itself, by device and inode, so
// that another spelling of its name or a link to it is caught as well. An
// output that does not exist yet is no file the run reads.
bool sameFile(const std::string &output, const std::string &path) {
  std::error_code error;
  return !output.empty() && std::filesystem::equivalent(output, path, error) && !error;
}

void say(const std::string &text, std::FILE *stream) {
  if (stream != nullptr)
    std::fputs(text.c_str(), stream);
}

} // namespace

VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options) {
  return process(fileName, frontEnd, options, VexAfterConversion());
}

namespace {

// The front end's runs of the input, from the file `fileName` or, with
// `text`, from memory. A comma decimal point (-c, or the program's own
// SPECIAL-NAMES) applies to numeric literals only where the reading is a
// compiler's: under -program and -lenient, never in the default reading of a
// copybook.
ParsedInput parseInput(const std::string &fileName, const std::string_view *text,
                       const FrontEndOptions &frontEnd, bool commaOption) {
  ParsedInput input;
  input.program = frontEnd.program;
  const auto parse = [&](const FrontEndOptions &options) {
    return text != nullptr ? ParseCopybookText({fileName, *text}, options)
                           : ParseCopybook(fileName, options);
  };
  if (!frontEnd.program) {
    FrontEndOptions copybookOptions = frontEnd;
    copybookOptions.decimalPointComma = frontEnd.lenient && commaOption;
    input.parts.push_back(parse(copybookOptions));
    input.units.push_back({"", 1});
    return input;
  }
  input.units = text != nullptr ? OutlineProgram(SourceText{fileName, *text}, frontEnd)
                                : OutlineProgram(fileName, frontEnd);
  input.parts.reserve(input.units.size());
  for (std::size_t unit = 0; unit < input.units.size(); ++unit) {
    FrontEndOptions programOptions = frontEnd;
    programOptions.programUnit = static_cast<int>(unit);
    programOptions.startingLine = unit == 0;
    programOptions.decimalPointComma = commaOption || input.units[unit].decimalPointComma;
    input.parts.push_back(parse(programOptions));
    if (input.parts.back().fatal())
      break;
  }
  return input;
}

VexCvtStatus convertParts(bool program, const std::vector<VexProgramPart> &parts,
                          const VexCblConfig &options, VexDocumentOutcome *outcome) {
  return program ? vexCblConvertProgram(parts, options, outcome)
                 : vexCblConvert(parts.front().entries, options, outcome);
}

} // namespace

VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options, const VexAfterConversion &after,
                     VexDocumentOutcome *outcome) {
  const std::string &output = options.outputFileName;
  if (sameFile(output, fileName)) {
    say(vexCblMsg::outputIsInput(output), options.messages);
    return VexCvtStatus::failed;
  }
  // A big copybook converts on a second thread while it is parsed; whatever
  // that conversion did is dropped unless the parse ends without errors.
  std::unique_ptr<VexRecordPipeline> pipeline;
  FrontEndOptions parseOptions = frontEnd;
  if (VexRecordPipeline::suits(fileName, frontEnd, options)) {
    pipeline = std::make_unique<VexRecordPipeline>(options);
    if (pipeline->ready())
      parseOptions.recordFeed = pipeline.get();
    else
      pipeline.reset();
  }
  ParsedInput input = parseInput(fileName, nullptr, parseOptions, options.commaDecimalPoint);
  RunState::Scope scope(input.parts.front().run());
  if (input.errorCount() != 0) {
    say(vexCblMsg::sourceErrors, options.messages);
    if (outcome != nullptr)
      outcome->end = VexDocumentEnd::sourceErrors;
    return VexCvtStatus::completed;
  }
  // Copybooks are known only now; the document is written at the end of the
  // conversion, so this is still before anything is written.
  for (FrontEndResult &part : input.parts)
    for (const std::string &copybook : part.filesRead())
      if (sameFile(output, copybook)) {
        say(vexCblMsg::outputIsCopybook(output, copybook), options.messages);
        return VexCvtStatus::failed;
      }
  const std::vector<VexProgramPart> parts = input.programParts();
  VexCvtStatus status = VexCvtStatus::failed;
  ReportingOutOfMemory([&] {
    if (pipeline == nullptr || !pipeline->finish(parts.front().entries, outcome, status))
      status = convertParts(frontEnd.program, parts, options, outcome);
    if (status == VexCvtStatus::completed && after)
      status = after(parts);
  });
  return status;
}

int ParsedInput::errorCount() const {
  int errors = 0;
  for (const FrontEndResult &part : parts)
    errors += part.errorCount();
  return errors;
}

bool ParsedInput::fatal() const { return !parts.empty() && parts.back().fatal(); }

std::vector<SourceMessage> ParsedInput::messages() const {
  std::vector<SourceMessage> all;
  for (const FrontEndResult &part : parts)
    all.insert(all.end(), part.messages().begin(), part.messages().end());
  return all;
}

std::vector<VexProgramPart> ParsedInput::programParts() {
  std::vector<VexProgramPart> programParts;
  for (std::size_t i = 0; i < parts.size(); ++i)
    programParts.push_back(
        {&parts[i].run(), parts[i].entries(), units[i].name, units[i].decimalPointComma});
  return programParts;
}

ParsedInput parseInputText(const SourceText &source, const FrontEndOptions &frontEnd,
                           bool commaOption) {
  return parseInput(source.name, &source.text, frontEnd, commaOption);
}

VexCvtStatus convertInput(ParsedInput &input, const VexCblConfig &options,
                          VexDocumentOutcome *outcome) {
  RunState::Scope scope(input.parts.front().run());
  VexCvtStatus status = VexCvtStatus::failed;
  ReportingOutOfMemory(
      [&] { status = convertParts(input.program, input.programParts(), options, outcome); });
  return status;
}
