#include "service/host/command_line.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

TEST(CommandLine, WordsAreJoinedBySingleBlanksAndForegroundIsTakenOut) {
  const CommandLine none = ParseCommandLine(std::vector<std::string>{});
  EXPECT_EQ(none.text, "");
  EXPECT_FALSE(none.foreground);

  EXPECT_EQ(ParseCommandLine({"install", "silent"}).text, "install silent");
  // Blanks inside a word stay as they are; an empty word still gets its separator.
  EXPECT_EQ(ParseCommandLine({"install  ", "x"}).text, "install   x");
  EXPECT_EQ(ParseCommandLine({"", "install"}).text, " install");

  const CommandLine foreground = ParseCommandLine({"--foreground"});
  EXPECT_TRUE(foreground.foreground);
  EXPECT_EQ(foreground.text, "");

  const CommandLine both = ParseCommandLine({"uninstall", "--foreground", "silent"});
  EXPECT_TRUE(both.foreground);
  EXPECT_EQ(both.text, "uninstall silent");

  // Only the whole word counts.
  const CommandLine lookalike = ParseCommandLine({"--foreground=1", "--FOREGROUND"});
  EXPECT_FALSE(lookalike.foreground);
  EXPECT_EQ(lookalike.text, "--foreground=1 --FOREGROUND");
}

TEST(CommandLine, ArgvSkipsTheProgramName) {
  const char* argv[] = {"/opt/brivane/BrivaneSvc", "--foreground", "remove", nullptr};
  const CommandLine line = ParseCommandLine(3, argv);
  EXPECT_TRUE(line.foreground);
  EXPECT_EQ(line.text, "remove");
}

}  // namespace
}  // namespace brivane
