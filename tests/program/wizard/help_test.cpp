// The compiled help that the "?" buttons open: wizards.chm in the program's
// folder, holding a topic for every page of the wizard.
#if defined(_WIN32) && defined(TABREVO_HELP_FILE)
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("/\\") + 1); }

TEST(HelpFile, CompiledBesideTheProgramWithEveryTopic) {
  EXPECT_EQ(FolderOf(TABREVO_HELP_FILE), FolderOf(TABREVO_PROGRAM_FILE));
  ASSERT_TRUE(FileExists(TABREVO_HELP_FILE)) << TABREVO_HELP_FILE;
  const std::string help = ReadFile(TABREVO_HELP_FILE);
  ASSERT_GE(help.size(), 4u);
  EXPECT_EQ(help.substr(0, 4), "ITSF");  // the compiled help format's signature

  // The directory of the file names every topic with its path.
  for (const char* topic : {"/index.htm", "/welcome.htm", "/source.htm", "/options.htm", "/progress.htm",
                            "/completion.htm", "/keywords.htm", "/wizards.css", "/wizards.hhc"})
    EXPECT_NE(help.find(topic), std::string::npos) << topic;
}

}  // namespace
#endif
