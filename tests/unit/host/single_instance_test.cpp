#include "service/host/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace brivane {
namespace {

TEST(SingleInstance, OneHolderPerProgramFileUntilItGoes) {
  char pattern[] = "/tmp/brivane-lock-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path folder = pattern;
  const auto program = folder / "BrivaneSvc";
  const auto other = folder / "copy" / "BrivaneSvc";
  std::filesystem::create_directories(other.parent_path());
  std::ofstream(program) << "program";
  std::ofstream(other) << "program";

  {
    std::optional<SingleInstance> first;
    first.emplace();
    ASSERT_TRUE(first->Acquire(program));
    EXPECT_TRUE(first->Acquire(program)) << "the holder asking again is still the holder";

    SingleInstance second;
    EXPECT_FALSE(second.Acquire(program));
    SingleInstance elsewhere;
    EXPECT_TRUE(elsewhere.Acquire(other)) << "a copy in another folder is another program";

    first.reset();
    EXPECT_TRUE(second.Acquire(program)) << "the lock outlived its holder";
  }
  // A file that cannot be opened cannot show another instance.
  SingleInstance missing;
  EXPECT_TRUE(missing.Acquire(folder / "absent"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace brivane
