#include "common/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <utility>

namespace brivane {
namespace {

bool IsOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesExactlyOnceWhateverHandsItPasses) {
  int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  {
    UniqueFd first(raw);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), raw);
    UniqueFd third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  UniqueFd held(raw);
  held.reset(other);
  EXPECT_FALSE(IsOpen(raw));
  const int released = held.release();
  EXPECT_EQ(released, other);
  EXPECT_FALSE(held);
  EXPECT_TRUE(held.close());
  EXPECT_TRUE(UniqueFd(released).close());
  EXPECT_FALSE(IsOpen(released));
}

}  // namespace
}  // namespace brivane
