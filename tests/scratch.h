// Folders for the files the tests make. Each is new, with a random name,
// under $TMPDIR (/tmp when it is unset), and is removed with everything in it
// when the test that made it ends, passed or failed; one made outside any
// test, when the program ends. No test uses a fixed name in a shared folder:
// two runs at once, or runs by two users, never meet.
#ifndef WAVRIX_TESTS_SCRATCH_H_
#define WAVRIX_TESTS_SCRATCH_H_

#include <string>

namespace scratch {

/// Where new folders go: $TMPDIR without a trailing slash, or /tmp when it is
/// unset or empty.
std::string Base();

/// A new empty folder under Base() that only this user may enter; throws
/// std::system_error when it cannot be made.
std::string Folder();

/// Removes `path` with everything in it, following no symbolic link, and
/// forgets it; true when nothing is left at `path`.
bool Remove(const std::string& path);

}  // namespace scratch

#endif  // WAVRIX_TESTS_SCRATCH_H_
