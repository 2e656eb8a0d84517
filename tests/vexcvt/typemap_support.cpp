#include "tests/vexcvt/typemap_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "platform/vexdef.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexcbcfg.h"
#include "vexcvt/vexfcbl/vexcbcrt.h"
#include "vexcvt/vexfcbl/vexcbctx.h"

namespace {

// Sets the configuration for one conversion and restores it afterwards.
class ScopedConfig {
public:
  explicit ScopedConfig(const VexTmConfig &config) : m_saved(current()) { apply(config); }
  ~ScopedConfig() { apply(m_saved); }
  ScopedConfig(const ScopedConfig &) = delete;
  ScopedConfig &operator=(const ScopedConfig &) = delete;

private:
  static VexTmConfig current() {
    const VexCblConfig &c = VexCblConfig::inst();
    return {c.commaDecimalPoint, c.textNumbersAsStrings, c.packedDefaultAsText, c.compatLevel};
  }
  static void apply(const VexTmConfig &config) {
    VexCblConfig &c = VexCblConfig::inst();
    c.commaDecimalPoint = config.commaDecimalPoint;
    c.textNumbersAsStrings = config.textNumbersAsStrings;
    c.packedDefaultAsText = config.packedDefaultAsText;
    c.compatLevel = config.compatLevel;
  }
  VexTmConfig m_saved;
};

std::unique_ptr<VexCblValue> makeValue(const VexTmItem &item) {
  auto value = std::make_unique<VexCblValue>();
  value->setExpandable(item.all);
  switch (item.valueKind) {
  case VexTmValueKind::none:
    return nullptr;
  case VexTmValueKind::string:
    value->setStrValue(item.value);
    break;
  case VexTmValueKind::number:
    value->setNumValue(item.value);
    break;
  case VexTmValueKind::figurative:
    value->setFigConst(item.figurative);
    break;
  }
  return value;
}

} // namespace

VexTmResult vexTmConvert(const VexTmItem &item, const VexTmConfig &config) {
  ScopedConfig scoped(config);
  VexCblGrpContext grp;
  grp.usage = item.groupUsage;
  grp.sign = item.groupSign;
  VexCblObjContext obj;
  obj.name = vexTmItemName;
  obj.usage = item.usage;
  obj.sign = item.sign;
  obj.isGroup = item.isGroup ? 1 : 0;
  obj.blankWhenZero = item.blankWhenZero;
  obj.justified = item.justified;
  // The picture is stored under the configuration, as the extraction does.
  if (item.picture != nullptr)
    obj.picture = std::make_unique<VexCblPicture>(item.picture);
  obj.value = makeValue(item);

  VexTmResult result;
  VexCblReportContext context(vexTmItemName, nullptr);
  testing::internal::CaptureStderr();
  try {
    const VexDataDef def = vexCblCreateDef(grp, obj);
    result.markup = vexToMbcs(VexMfRdfWriter::fillStanza(*def).getAttrValue("definition"));
  } catch (const VexCvtError &) {
    result.threw = true;
  }
  result.messages = testing::internal::GetCapturedStderr();
  return result;
}

std::string vexTmMessage(const char *text) { return std::string(" (") + vexTmItemName + ") " + text + "\n"; }

std::string vexTmSchemaErrors(const std::string &markup) {
  char path[] = "/tmp/vextmXXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0)
    return "cannot create a temporary file";
  close(fd);
  std::ofstream(path) << markup;
  const std::string command = std::string("xmllint --noout --schema ") + VEX_SOURCE_DIR +
                              "/schema/vexfcbl.xsd " + path + " 2>&1";
  std::string output;
  if (FILE *pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
      output += buffer;
    const int status = pclose(pipe);
    // xmllint names the file "validates" on success; only failures matter.
    if (status == 0)
      output.clear();
  } else {
    output = "cannot run xmllint";
  }
  std::remove(path);
  return output;
}
