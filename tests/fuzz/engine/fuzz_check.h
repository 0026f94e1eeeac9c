// What a coverage-guided fuzz target says when a promise of the code it drives is broken: the
// broken promise on stderr, then an abort, which the engine keeps as a crashing input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KES_FUZZ_CHECK(condition)                                                  \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                \
    }                                                                              \
  } while (false)
