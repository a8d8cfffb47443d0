#include "common/file_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace brivane {
namespace {

using namespace std::string_literals;
using testkit::TempFolder;

TEST(FileText, BytesComeBackExactlyAndTheModeIgnoresTheUmask) {
  TempFolder folder;
  const auto file = folder / "unit";
  const std::string bytes = "[Unit]\r\nA=\0b\n"s + std::string(10000, 'x');
  const mode_t previous = ::umask(077);
  EXPECT_TRUE(WriteWholeFile(file, bytes, 0644));
  ::umask(previous);
  EXPECT_EQ(ReadWholeFile(file), bytes);
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);

  // A second write replaces the whole content.
  EXPECT_TRUE(WriteWholeFile(file, "short", 0644));
  EXPECT_EQ(ReadWholeFile(file), "short");
}

TEST(FileText, WhatCannotBeOpenedIsNothing) {
  TempFolder folder;
  EXPECT_FALSE(ReadWholeFile(folder / "absent").has_value());
  EXPECT_FALSE(ReadWholeFile(folder.Path()).has_value());
  EXPECT_FALSE(WriteWholeFile(folder / "absent" / "unit", "x", 0644));
  EXPECT_EQ(ReadWholeFile(folder / "empty").value_or("?"), "?");
  EXPECT_TRUE(WriteWholeFile(folder / "empty", "", 0600));
  EXPECT_EQ(ReadWholeFile(folder / "empty"), "");
}

}  // namespace
}  // namespace brivane
