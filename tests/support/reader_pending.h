// Tests that convert real workbooks need the reader of their format. Until
// that reader is built, loading reports "cannot be read yet", and a format
// no reader takes reports "not supported"; such a test is skipped with that
// reason (never passed), and any other load failure is the test's own
// failure.
#pragma once

#include <string>

#include "engine/reader.h"

namespace testing_support {

// Empty when the reader loads `path`; otherwise the reason it cannot.
inline std::string LoadFailure(const std::string& path) {
  BookHandle book = xlCreateXMLBookCA();
  std::string why = xlBookLoadA(book, path.c_str()) ? "" : xlBookErrorMessageA(book);
  xlBookReleaseA(book);
  return why;
}

inline bool IsPendingReader(const std::string& why) {
  return why.find("cannot be read yet") != std::string::npos;
}

// A format the readers do not read at all (so far): a test that needs it
// is skipped as well.
inline bool IsUnsupportedFormat(const std::string& why) {
  return why.find("not supported") != std::string::npos;
}

}  // namespace testing_support

// Skips the test while the reader for `path` is not built; fails it when the
// file cannot be read for any other reason.
#define SKIP_UNLESS_READABLE(path)                                                                \
  do {                                                                                            \
    std::string why_ = ::testing_support::LoadFailure(path);                                      \
    if (::testing_support::IsPendingReader(why_) || ::testing_support::IsUnsupportedFormat(why_)) \
      GTEST_SKIP() << path << ": " << why_;                                                       \
    ASSERT_EQ(why_, "") << path;                                                                  \
  } while (0)
