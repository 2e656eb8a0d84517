// Tests the item-to-definition mapping (typemap.cases, edited.cases), schema-validated.
#include <gtest/gtest.h>

#include "converter/conversion.h"
#include "converter/definition_creation.h"
#include "converter/item_contexts.h"
#include "converter/numeric_definitions.h"
#include "tests/converter/converter_support.h"
#include "tests/model/xmllint_support.h"

namespace {

// Each case is one copybook whose entry ITEM is converted under the case's
// options; its definition element and its messages must be the expected ones,
// and every element must satisfy the schema.
void runCaseFile(const char *fileName) {
  const std::vector<VexCase> cases = vexReadCases(fileName);
  ASSERT_FALSE(cases.empty());
  std::string elements;
  for (const VexCase &c : cases) {
    SCOPED_TRACE(std::string(fileName) + ":" + std::to_string(c.line) + " " + c.title);
    const VexItemResult result = vexConvertItem(c.get(""), vexOptions(c.options));
    EXPECT_EQ(result.markup + "\n", c.get("markup"));
    EXPECT_EQ(result.messages, c.get("messages"));
    if (result.markup.front() == '<')
      elements += result.markup + "\n";
  }
  const VexSchemaCheck check =
      vexValidateText("<MessageFormat>\n" + elements + "</MessageFormat>\n");
  EXPECT_TRUE(check.valid) << check.output;
}

TEST(TypeMapping, EveryCaseOfTheTable) { runCaseFile("typemap.cases"); }
TEST(TypeMapping, NumericEditedPictures) { runCaseFile("edited.cases"); }

// A DISPLAY number needs a picture to derive its text form from.
TEST(TypeMapping, DisplayNumberWithoutPictureIsRefused) {
  VexCblConversion conv{VexCblConfig{}};
  VexCblGrpContext grp;
  VexCblObjContext item;
  const VexCblReportContext context(conv.report, "ITEM", nullptr);
  testing::internal::CaptureStderr();
  EXPECT_THROW(vexCblCreateNumber(conv, grp, item), VexCvtError);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            " (ITEM) \n\tError: Picture is not specified.\n");
}

} // namespace
