#include "service/host/single_instance.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/temp_folder.h"

namespace brivane {
namespace {

TEST(SingleInstance, OneHolderPerProgramFileUntilItGoes) {
  const testkit::TempFolder temp("brivane-lock");
  const std::filesystem::path& folder = temp.Path();
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
}

}  // namespace
}  // namespace brivane
