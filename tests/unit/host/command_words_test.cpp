#include "service/host/command_words.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

TEST(CommandWordsTest, OnlyTheWholeExactTextIsACommandWord) {
  EXPECT_EQ(ParseCommandWord("install"), CommandWord::kInstall);
  EXPECT_EQ(ParseCommandWord("install silent"), CommandWord::kInstallSilent);
  EXPECT_EQ(ParseCommandWord("uninstall"), CommandWord::kUninstall);
  EXPECT_EQ(ParseCommandWord("remove"), CommandWord::kRemove);
  EXPECT_EQ(ParseCommandWord("uninstall silent"), CommandWord::kUninstallSilent);

  for (const char* text :
       {"", "Install", "INSTALL", "install ", " install", "install  silent", "install silent now",
        "remove silent", "Remove", "uninstall\t", "uninstallsilent", "--foreground"}) {
    EXPECT_EQ(ParseCommandWord(text), std::nullopt) << '"' << text << '"';
    // Nothing is run for a text that is no command word.
    EXPECT_EQ(RunCommandWord(text), std::nullopt) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace brivane
