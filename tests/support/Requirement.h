#pragma once
// A test that needs something of the machine (root, openssl, Xvfb, extended attributes, a network
// namespace) skips on a developer's machine that lacks it, but fails under CI, which provides all
// of them: a skipped test would pass there while checking nothing.

#include <gtest/gtest.h>

#include <cstdlib>

#define SOLANE_REQUIRE(condition, reason)                                             \
  do {                                                                                \
    if (!(condition)) {                                                               \
      if (std::getenv("CI") != nullptr) FAIL() << (reason) << " (CI must provide it)"; \
      GTEST_SKIP() << (reason);                                                       \
    }                                                                                 \
  } while (0)
