// Marker replacement in skin templates.
#include "converter/skin/skin_markers.h"

#include <gtest/gtest.h>

namespace converter::skin {
namespace {

TEST(SkinMarkers, ReplacesEveryMarkerOnceAndLeavesTheRest) {
  const MarkerValues values = {{"NAME", "<b>x</b>"}, {"PLAINNUMBER", "12"}, {"EMPTY", ""}};
  struct Case {
    const char* text;
    const char* filled;
  } cases[] = {
      {"<NAME/>", "<b>x</b>"},
      {"a<NAME/>b<NAME/>c", "a<b>x</b>b<b>x</b>c"},  // every place
      {"<PLAINNUMBER/><NAME/>", "12<b>x</b>"},
      {"[<EMPTY/>]", "[]"},
      {"<name/> <NAME /> <NAME>", "<name/> <NAME /> <NAME>"},  // case-sensitive, exact form
      {"<UNKNOWN/> <br/>", "<UNKNOWN/> <br/>"},
      {"<<NAME/>/>", "<<b>x</b>/>"},
      {"tail <NAME", "tail <NAME"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string out;
    FillMarkers(out, c.text, values);
    EXPECT_EQ(out, c.filled) << c.text;
  }
}

TEST(SkinMarkers, AValueHoldingAMarkerStaysText) {
  std::string out = "head:";
  FillMarkers(out, "<MESSAGE/>|<NAME/>", {{"MESSAGE", "<NAME/>"}, {"NAME", "n"}});
  EXPECT_EQ(out, "head:<NAME/>|n");
  EXPECT_TRUE(HasMarker("x<ID/>y", "ID"));
  EXPECT_FALSE(HasMarker("x<IDS/>y", "ID"));
}

}  // namespace
}  // namespace converter::skin
