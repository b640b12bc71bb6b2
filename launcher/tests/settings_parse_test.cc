// The settings file's text parser, natively (the launcher's own tests under
// wine read real files through LoadSettings).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "settings_parse.h"

namespace {

struct TextCase {
  const char* name;
  std::string text;
  std::vector<int> values;  // the lines found, in order
};

std::vector<int> Parse(const std::string& text) {
  int values[kSettingsValueCount];
  int n = ParseSettingsText(text.data(), text.size(), values, kSettingsValueCount);
  return std::vector<int>(values, values + n);
}

TEST(SettingsText, LinesAsFgetsReadsThem) {
  const std::string piece(kSettingsLineChars, '7');
  const TextCase cases[] = {
      {"empty text has no lines", "", {}},
      {"five lines", "1\n20\n115\n900\n115\n", {1, 20, 115, 900, 115}},
      {"fewer lines", "1\n2", {1, 2}},
      {"extra lines are not read", "1\n2\n3\n4\n5\n6\n", {1, 2, 3, 4, 5}},
      {"an empty line reads as 0", "\n\n3\n", {0, 0, 3}},
      {"a line of exactly 255 characters leaves its newline as a line",
       piece + "\n5\n", {INT_MAX, 0, 5}},
      {"a longer line is read in 255-character pieces",
       piece + "42\n5\n", {INT_MAX, 42, 5}},
      {"a NUL ends the value, not the line", std::string("12\0" "34\n5\n", 8), {12, 5}},
      {"a lone CR does not end a line", "1\r2\n3\n", {1, 3}},
      {"out-of-range values are clamped", "-99999999999\n99999999999\n",
       {INT_MIN, INT_MAX}},
  };
  for (const TextCase& c : cases)
    EXPECT_EQ(c.values, Parse(c.text)) << c.name;
}

TEST(SettingsText, CountLimitsTheValuesWritten) {
  int values[3] = {-1, -1, -1};
  EXPECT_EQ(2, ParseSettingsText("8\n9\n10\n", 7, values, 2));
  EXPECT_EQ(8, values[0]);
  EXPECT_EQ(9, values[1]);
  EXPECT_EQ(-1, values[2]);
}

}  // namespace
