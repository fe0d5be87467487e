// File search, profile files, the OEM conversion and paths.
#include <gtest/gtest.h>

#include <algorithm>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/ini_file.h"
#include "platform/platform.h"
#include "platform/wildcard.h"
#include "tests/support/test_support.h"

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace {

TEST(Wildcard, StarQuestionAndCase) {
  EXPECT_TRUE(platform::WildcardMatch("*.xls", "Book.XLS"));
  EXPECT_FALSE(platform::WildcardMatch("*.xls", "book.xlsx"));
  EXPECT_TRUE(platform::WildcardMatch("*.xls*", "book.xlsx"));
  EXPECT_TRUE(platform::WildcardMatch("b?ok.xls", "bOok.xls"));
  EXPECT_FALSE(platform::WildcardMatch("b?ok.xls", "bok.xls"));
  EXPECT_TRUE(platform::WildcardMatch("*", ".hidden"));
  EXPECT_TRUE(platform::WildcardMatch("*.*", "README"));
  EXPECT_TRUE(platform::WildcardMatch("a*b*c", "aXXbYYbc"));
  EXPECT_FALSE(platform::WildcardMatch("a*b*c", "aXXbYYb"));
  EXPECT_TRUE(platform::WildcardMatch("[x].xls", "[X].xls"));  // brackets are plain characters
  EXPECT_TRUE(platform::WildcardMatch("exact.xls", "EXACT.xls"));
}

TEST(FindFiles, MatchesInTheFolderOfThePattern) {
  ScratchDir dir;
  for (const char* name : {"b.xls", "A.XLS", "c.xlsx", ".dot.xls", "notes.txt"})
    WriteFile(dir.File(name), "x");
  std::vector<std::string> names;
  ASSERT_TRUE(platform::FindFiles(dir.File("*.xls"), &names));
#ifndef _WIN32
  EXPECT_EQ(names, (std::vector<std::string>{".dot.xls", "A.XLS", "b.xls"}));
#else
  std::sort(names.begin(), names.end(), platform::NameLess);
  // Windows also matches c.xlsx through its short 8.3 name.
  names.erase(std::remove(names.begin(), names.end(), "c.xlsx"), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".dot.xls", "A.XLS", "b.xls"}));
#endif
  names.clear();
  ASSERT_TRUE(platform::FindFiles(dir.File("notes.TXT"), &names));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(names[0] == "notes.txt" || names[0] == "notes.TXT");
  names.clear();
  EXPECT_FALSE(platform::FindFiles(dir.File("*.doc"), &names));
  EXPECT_FALSE(platform::FindFiles(dir.File("missing/*.xls"), &names));
  EXPECT_FALSE(platform::FindFiles("", &names));
  EXPECT_TRUE(names.empty());
}

#ifndef _WIN32
// Overwriting an output named /dev/null or a FIFO writes into it: removing
// it first would take a device away from the whole system.
TEST(RemoveFile, DeletesFilesButNoPipeOrDevice) {
  ScratchDir dir;
  const std::string file = dir.File("out.csv");
  WriteFile(file, "old");
  EXPECT_TRUE(platform::RemoveFile(file));
  EXPECT_FALSE(platform::PathExists(file));
  const std::string fifo = dir.File("pipe.csv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(platform::RemoveFile(fifo));
  EXPECT_TRUE(platform::PathExists(fifo));
  EXPECT_FALSE(platform::RemoveFile("/dev/null"));
  EXPECT_TRUE(platform::PathExists("/dev/null"));
  EXPECT_FALSE(platform::RemoveFile(dir.File("never there")));
}

// The file replaced by an output is deleted at once and held until let go
// of: the name is free, another link to it keeps its bytes, and what is held
// is that file. A link is only unlinked; a pipe or device stays.
TEST(RemoveFile, HeldIsTheDeletedFileItself) {
  ScratchDir dir;
  const std::string file = dir.File("out.csv"), other = dir.File("other.csv");
  WriteFile(file, "old rows");
  ASSERT_EQ(::link(file.c_str(), other.c_str()), 0);
  int held = platform::RemoveFileHeld(file);
  ASSERT_GE(held, 0);
  EXPECT_FALSE(platform::PathExists(file));
  char bytes[16] = {};
  EXPECT_EQ(::pread(held, bytes, sizeof bytes, 0), 8);
  EXPECT_STREQ(bytes, "old rows");
  platform::CloseHeldFile(held);
  EXPECT_EQ(ReadFile(other), "old rows");

  const std::string link = dir.File("link.csv");
  ASSERT_EQ(::symlink(other.c_str(), link.c_str()), 0);
  EXPECT_EQ(platform::RemoveFileHeld(link), -1);
  EXPECT_FALSE(platform::PathExists(link));
  EXPECT_EQ(ReadFile(other), "old rows");

  const std::string fifo = dir.File("pipe.csv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(platform::RemoveFileHeld(fifo), -1);
  EXPECT_TRUE(platform::PathExists(fifo));
  EXPECT_EQ(platform::RemoveFileHeld("/dev/null"), -1);
  EXPECT_TRUE(platform::PathExists("/dev/null"));
  EXPECT_EQ(platform::RemoveFileHeld(dir.File("never there")), -1);
  platform::CloseHeldFile(-1);
}
#endif

TEST(IniText, ReadsTheFirstMatchingSectionAndKey) {
  const char* text =
      "; comment\r\n[Other]\r\nLog=7\r\n[ common ]\r\n  log = 1 "
      "\r\nOverWrite=\r\nOpen=\"0\"\r\n[Common]\r\nLog=9\r\n";
  std::string v;
  ASSERT_TRUE(platform::IniFindValue(text, "Common", "LOG", &v));
  EXPECT_EQ(v, "1");
  ASSERT_TRUE(platform::IniFindValue(text, "COMMON", "OverWrite", &v));
  EXPECT_EQ(v, "");
  ASSERT_TRUE(platform::IniFindValue(text, "Common", "Open", &v));
  EXPECT_EQ(v, "0");
  EXPECT_FALSE(platform::IniFindValue(text, "Common", "Missing", &v));
  EXPECT_FALSE(platform::IniFindValue(text, "Nowhere", "Log", &v));
}

TEST(IniText, IntegersAsTheProfileServiceReadsThem) {
  EXPECT_EQ(platform::IniParseInt("12abc"), 12);
  EXPECT_EQ(platform::IniParseInt("  -3"), -3);
  EXPECT_EQ(platform::IniParseInt("+4"), 4);
  EXPECT_EQ(platform::IniParseInt("abc"), 0);
  EXPECT_EQ(platform::IniParseInt("0x1F"), 31);
}

TEST(IniText, SettingAValueKeepsEveryOtherByte) {
  const std::string text = "[A]\r\nx=1\r\n\r\n[TABREVO]\r\nResult=Failed\r\nOther=keep me \r\n[B]\r\ny=2";
  EXPECT_EQ(platform::IniSetValue(text, "tabrevo", "RESULT", "Successful"),
            "[A]\r\nx=1\r\n\r\n[TABREVO]\r\nRESULT=Successful\r\nOther=keep me \r\n[B]\r\ny=2");
  // A missing key goes after the section's last line that is not empty.
  EXPECT_EQ(platform::IniSetValue(text, "A", "z", "3"),
            "[A]\r\nx=1\r\nz=3\r\n\r\n[TABREVO]\r\nResult=Failed\r\nOther=keep me \r\n[B]\r\ny=2");
  // The last line had no line break.
  EXPECT_EQ(platform::IniSetValue(text, "B", "z", "3"), text + "\r\nz=3\r\n");
  EXPECT_EQ(platform::IniSetValue(text, "C", "k", "v"), text + "\r\n[C]\r\nk=v\r\n");
  EXPECT_EQ(platform::IniSetValue("", "Common", "Log", "1"), "[Common]\nLog=1\n");
  // A new file on Windows gets Windows line ends; a file keeps its own.
  EXPECT_EQ(platform::IniSetValue("", "Common", "Log", "1", "\r\n"), "[Common]\r\nLog=1\r\n");
  EXPECT_EQ(platform::IniSetValue("[A]\nx=1\n", "A", "y", "2", "\r\n"), "[A]\nx=1\ny=2\n");
}

TEST(IniFile, WriteThenReadThroughTheService) {
  ScratchDir dir;
  std::string file = dir.File("status.ini");
  EXPECT_EQ(platform::IniReadInt(file, "Common", "Log", 5), 5);
  ASSERT_TRUE(platform::IniWriteString(file, "Common", "Log", "1"));
  ASSERT_TRUE(platform::IniWriteString(file, "Common", "Open", "0"));
  ASSERT_TRUE(platform::IniWriteString(file, "Other", "Log", "7"));
  ASSERT_TRUE(platform::IniWriteString(file, "Common", "Log", "2"));
  EXPECT_EQ(platform::IniReadInt(file, "Common", "Log", 5), 2);
  EXPECT_EQ(platform::IniReadInt(file, "common", "open", 5), 0);
  EXPECT_EQ(platform::IniReadInt(file, "Other", "Log", 5), 7);
  EXPECT_EQ(platform::IniReadInt(file, "Common", "OverWrite", 1), 1);
  std::string text = ReadFile(file);
  EXPECT_NE(text.find("[Common]"), std::string::npos);
  EXPECT_EQ(text.find("Log=1"), std::string::npos);
  // No temporary file is left behind.
  std::vector<std::string> names;
  ASSERT_TRUE(platform::FindFiles(dir.File("*"), &names));
  names.erase(std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n[0] == '.'; }),
              names.end());
  EXPECT_EQ(names, std::vector<std::string>{"status.ini"});
}

TEST(IniFile, MissingFolderFailsQuietly) {
  ScratchDir dir;
  EXPECT_FALSE(platform::IniWriteString(dir.File("no/such/status.ini"), "TABREVO", "Result", "x"));
}

TEST(Oem, ConvertsToCodePage437) {
#ifndef _WIN32
  EXPECT_EQ(platform::TextToOem("abc"), "abc");
  EXPECT_EQ(platform::TextToOem("\xC3\xA4\xC3\xB6\xC3\xBC"), "\x84\x94\x81");  // äöü
  EXPECT_EQ(platform::TextToOem("\xE2\x82\xAC x"), "? x");                     // € is not in 437
  EXPECT_EQ(platform::TextToOem("\xFF"), "?");                                 // not UTF-8
  EXPECT_EQ(platform::TextLength("\xC3\xA4x"), 2u);
#else
  // The ANSI code page under Wine is 1252: ä ö ü become 437's bytes.
  EXPECT_EQ(platform::TextToOem("\xE4\xF6\xFC"), "\x84\x94\x81");
  EXPECT_EQ(platform::TextToOem("abc"), "abc");
#endif
}

TEST(Paths, SeparatorsAndExecutable) {
  EXPECT_TRUE(platform::IsPathSeparator('/'));
#ifdef _WIN32
  EXPECT_TRUE(platform::IsPathSeparator('\\'));
  EXPECT_EQ(platform::LastSeparator("C:\\a/b\\c"), 6u);
#else
  EXPECT_FALSE(platform::IsPathSeparator('\\'));
  EXPECT_EQ(platform::LastSeparator("/a/b\\c"), 2u);
#endif
  std::string exe = platform::ExecutablePath();
  EXPECT_NE(exe.find("platform_tests"), std::string::npos) << exe;
  EXPECT_FALSE(platform::AppDataFolder().empty());
}

}  // namespace
