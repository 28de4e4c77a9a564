// The tests' state-line reader must be as strict as comparing the text, or
// the checks built on it would pass lines the viewer never prints.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "tests/support/state_line.h"

namespace {

TEST(StateLineParser, ReadsEveryFieldAndTheFolderVerbatim) {
  UiStateLine s = ParseStateLine("0 1 2 3 4 -5 6 1 0 9 \\a b\\c");
  EXPECT_EQ(s, (UiStateLine{.gridMode = 0, .selection = 1, .firstVisible = 2, .currentPicture = 3,
                            .zoomIndex = 4, .panX = -5, .panY = 6, .slideShow = 1, .decodeMode = 0,
                            .entryCount = 9, .folder = "\\a b\\c"}));
  EXPECT_EQ(ParseStateLine("1 0 0 0 2 0 0 0 2 2 "), (UiStateLine{.entryCount = 2, .folder = ""}));
}

TEST(StateLineParser, RefusesAnythingButThePrintedForm) {
  for (const char* bad : {"1 0 0 0 2 0 0 0 2 2", "01 0 0 0 2 0 0 0 2 2 ", "+1 0 0 0 2 0 0 0 2 2 ",
                          "1  0 0 0 2 0 0 0 2 2 ", " 1 0 0 0 2 0 0 0 2 2 ", "1 x 0 0 2 0 0 0 2 2 ",
                          "-0 0 0 0 2 0 0 0 2 2 ", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_NONFATAL_FAILURE(ParseStateLine(bad), "not a state line");
  }
}

TEST(StateLineParser, WholeOutputsNeedTheirLineEnds) {
  EXPECT_EQ(ParseStateLines(""), std::vector<UiStateLine>{});
  EXPECT_EQ(ParseStateLines("1 0 0 0 2 0 0 0 2 2 \n1 3 0 0 2 0 0 0 2 2 \n").size(), 2u);
  EXPECT_NONFATAL_FAILURE(ParseStateLines("1 0 0 0 2 0 0 0 2 2 "), "line end");
  EXPECT_NONFATAL_FAILURE(ParseStateLines("1 0 0 0 2 0 0 0 2 2 \n\n"), "not a state line");
}

}  // namespace
