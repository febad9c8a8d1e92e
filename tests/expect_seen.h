// Holding a run to what it should have done, for the GoogleTest tests of the
// program, whichever way it ran (tests/traffic.h).
#ifndef WAVRIX_TESTS_EXPECT_SEEN_H_
#define WAVRIX_TESTS_EXPECT_SEEN_H_

#include <regex>

#include "gtest/gtest.h"
#include "tests/traffic.h"

namespace traffic {

/// Holds a run to `expected` (anything with `exitCode`, `messages`, `calls`
/// and `waits`): the exit code, nothing on standard output, the messages
/// (their styles when `checkStyle`), the bus calls and, where the run shows
/// them, the waits.
template <typename Expected>
void ExpectSeen(const Expected& expected, const Seen& seen, bool checkStyle) {
  EXPECT_EQ(seen.exitCode, expected.exitCode) << seen.raw.substr(0, 2000);
  EXPECT_EQ(seen.out, "");
  ASSERT_EQ(seen.messages.size(), expected.messages.size()) << seen.raw.substr(0, 2000);
  for (size_t i = 0; i < expected.messages.size(); ++i) {
    EXPECT_EQ(seen.messages[i].caption, expected.messages[i].caption);
    EXPECT_TRUE(std::regex_match(seen.messages[i].text, std::regex(expected.messages[i].text)))
        << seen.messages[i].text;
    if (checkStyle) {
      EXPECT_EQ(seen.messages[i].style, expected.messages[i].style);
    }
  }
  EXPECT_EQ(seen.calls, expected.calls);
  if (seen.waitsSeen) {
    EXPECT_EQ(seen.waits, expected.waits);
  }
}

}  // namespace traffic

#endif  // WAVRIX_TESTS_EXPECT_SEEN_H_
