#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant in a fuzz target: say which, and stop so libFuzzer keeps the input.
// Not assert(): release builds define NDEBUG, and these checks must always run.
#define FUZZ_REQUIRE(condition)                                                 \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, \
                   #condition);                                                 \
      std::abort();                                                             \
    }                                                                           \
  } while (false)
