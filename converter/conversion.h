#pragma once
// The state of one conversion, passed by reference to every step of it.
#include <array>
#include <optional>
#include <string>

#include "converter/conversion_options.h"
#include "converter/conversion_report.h"
#include "converter/definition_repository.h"
#include "converter/pictures.h"
#include "converter/record_names.h"
#include "model/definition_model.h"
#include "support/string_memory.h"
#include "support/trace.h"

// A PICTURE string met before in this conversion: its stored text, as the
// tree holds it, with the text as written and its analysed picture.
struct VexCblPictureMemo {
  tStringRef stored = nullptr;
  bool commaDecimalPoint = false;
  std::string written;
  std::optional<VexCblPicture> picture;
};

// The state of one conversion: its options, its report with the contexts of
// the items being converted, the registry of the definition names it gives,
// the repository of its stand-alone definitions and its trace. Made for one
// declaration list by the entry point (convert.h) and passed by reference to
// every step of the conversion; nothing of it outlives the conversion, so
// conversions in one process, in any order, never see each other.
class VexCblConversion {
public:
  // A conversion under `options` (copied) that writes to the output file and
  // under the namespace they name, tracing to `trace`.
  explicit VexCblConversion(const VexCblConfig &options, VexTrace trace = VexTrace());
  VexCblConversion(const VexCblConversion &) = delete;
  VexCblConversion &operator=(const VexCblConversion &) = delete;

  // The options as given, except that vexCblConvertProgram sets
  // commaDecimalPoint for each program whose SPECIAL-NAMES say
  // DECIMAL-POINT IS COMMA.
  VexCblConfig options;
  // The record names of a program file (-program).
  VexProgramRecordNames programRecords;
  VexTrace trace;
  VexCvtReport report;
  VexDataDefDomain definitions;
  VexCvtRepository repository;
  // The room of an entry's description, handed on to the next entry once
  // the model has its copy: made afresh for each, it took an allocation an
  // entry.
  std::string spareDescription;
  // A message's text, made in the room the last one left (REDEFINES gives
  // one per item).
  std::string messageText;
  // How far the tree's memory has been asked for ahead of the walk
  // (declaration_traversal.cpp); an address, never read through.
  const char *prefetchedTo = nullptr;
  // The last pictures read, by the address of their stored text: a
  // copybook spells a few pictures over and over, and the front end keeps
  // one record of each spelling, so most entries find theirs here without
  // copying, normalising and hashing the text (entry_extraction.cpp). The
  // run's texts never move or change while a conversion reads them.
  std::array<VexCblPictureMemo, 8> pictures;
  std::size_t nextPicture = 0;
};
