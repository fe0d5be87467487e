// The keyword parameter language.
#include "engine/parameters.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Settings with their defaults after the arguments "app", then `args`.
struct Parsed {
  ConverterSettings s{};
  explicit Parsed(std::initializer_list<std::string> args, bool defaults = true) {
    if (defaults) SetDefaultSettings(s);
    std::vector<std::string> texts{"app"};
    texts.insert(texts.end(), args);
    std::vector<const char*> argv;
    for (const std::string& t : texts) argv.push_back(t.c_str());
    ParseParameters(s, static_cast<int>(argv.size()), argv.data());
  }
};

TEST(Parameters, NamesAreRecognisedByTheirEnding) {
  EXPECT_EQ(Parsed({"book.XLSX"}).s.sourceFile, "book.XLSX");
  EXPECT_EQ(Parsed({"BOOK.xls"}).s.sourceFile, "BOOK.xls");
  EXPECT_EQ(Parsed({"out.CSV"}).s.outputFile, "out.CSV");
  EXPECT_EQ(Parsed({"out.txt"}).s.outputFile, "out.txt");
  // Every workbook kind the readers take names a source, in any capitals,
  // patterns included; the first one wins.
  for (const char* name : {"book.xlsm", "book.XLSB", "tmpl.xltx", "tmpl.xltM", "old.XLT", "d/*.xlsm"}) {
    Parsed p({name, "second.xlsb"});
    EXPECT_EQ(p.s.sourceFile, name);
    EXPECT_EQ(p.s.outputFolder, "") << name;
  }
  // Near misses are folders.
  for (const char* name : {"book.xlsxx", "book.xlsn", "book.xltb", "book.xl"}) {
    Parsed p({name});
    EXPECT_EQ(p.s.sourceFile, "") << name;
    EXPECT_EQ(p.s.outputFolder, name);
  }
  // Wildcards are recognised by the ending too.
  EXPECT_EQ(Parsed({"C:\\data\\*.xls"}).s.sourceFile, "C:\\data\\*.xls");
  EXPECT_EQ(Parsed({"C:\\data\\*.xlsx"}).s.sourceFile, "C:\\data\\*.xlsx");
  EXPECT_EQ(Parsed({"C:\\data\\*"}).s.outputFolder, "C:\\data\\*");
  EXPECT_EQ(Parsed({"C:\\data\\*.*"}).s.outputFolder, "C:\\data\\*.*");
}

TEST(Parameters, EndingsAreTestedBeforePrefixes) {
  // A keyword whose value ends like an output file is the output file.
  Parsed status({"/STATUS=C:\\r\\result.txt"});
  EXPECT_EQ(status.s.outputFile, "/STATUS=C:\\r\\result.txt");
  EXPECT_EQ(status.s.statusFile, "");
  EXPECT_EQ(Parsed({"-data.xls"}).s.sourceFile, "-data.xls");
  // With a source set, a second workbook name goes on to the keywords,
  // where it means nothing.
  Parsed two({"first.xls", "second.xls", "-third.xlsx"});
  EXPECT_EQ(two.s.sourceFile, "first.xls");
  EXPECT_EQ(two.s.outputFolder, "");
}

TEST(Parameters, ShortNamesAreSkippedButShortKeywordsWork) {
  for (const char* name : {"D:\\", "out", "a.xl", "x"}) {
    Parsed p({name});
    EXPECT_EQ(p.s.outputFolder, "") << name;
    EXPECT_EQ(p.s.sourceFile, "") << name;
  }
  EXPECT_EQ(Parsed({"D:\\out"}).s.outputFolder, "D:\\out");
  EXPECT_EQ(Parsed({"/LOG"}).s.logEnabled, 1);
  EXPECT_EQ(Parsed({"-OEM"}).s.codePage, kCodePageOem);
  // Empty arguments and lone prefixes are nothing.
  Parsed p({"", "/", "-"});
  EXPECT_EQ(p.s.outputFolder, "");
}

TEST(Parameters, EveryKeywordRow) {
  struct Row {
    const char* arg;
    std::string ConverterSettings::*text;
    std::string textValue;
    int32_t ConverterSettings::*number;
    int32_t numberValue;
  };
  using S = ConverterSettings;
  const Row rows[] = {
      {"/ESCAPE=\\", &S::escapeChar, "\\", nullptr, 0},
      {"/ESCAPE=dqx", &S::escapeChar, "\"", nullptr, 0},
      {"/ESCAPE=Sq", &S::escapeChar, "'", nullptr, 0},
      {"/ESCAPE=", &S::escapeChar, "", nullptr, 0},
      {"/FIELDS=TAB", &S::fieldDelimiter, "TAB", nullptr, 0},
      {"-fields=;", &S::fieldDelimiter, ";", nullptr, 0},
      {"/RECORDS=LF", &S::recordDelimiter, "LF", nullptr, 0},
      {"/QUOTES=0", nullptr, "", &S::quoteStrings, 0},
      {"/crlf=remove", nullptr, "", &S::crlfMode, kCrlfRemove},
      {"/CRLF=REPLACE", nullptr, "", &S::crlfMode, kCrlfReplace},
      {"/QUOTEALL=1", nullptr, "", &S::quoteAll, 1},
      {"/ORDER=B,A", &S::order, "B,A", nullptr, 0},
      {"/LOG", nullptr, "", &S::logEnabled, 1},
      {"/STATUS=C:\\st.ini", &S::statusFile, "C:\\st.ini", nullptr, 0},
      {"/MAXLEN=80", nullptr, "", &S::maxLength, 80},
      {"/ANSI", nullptr, "", &S::codePage, kCodePageAnsi},
      {"/OEM", nullptr, "", &S::codePage, kCodePageOem},
      {"/OVERWRITE=NO", nullptr, "", &S::overwrite, kOverwriteNo},
      {"/OVERWRITE=0", nullptr, "", &S::overwrite, kOverwriteNo},
      {"/overwrite=skip", nullptr, "", &S::overwrite, kOverwriteSkip},
      {"/OVERWRITE=2", nullptr, "", &S::overwrite, kOverwriteSkip},
      {"/OPEN=0", nullptr, "", &S::openResult, 0},
      {"/WAIT", nullptr, "", &S::wait, 1},
      {"/BATCH", nullptr, "", &S::batch, 1},
      {"-silent", nullptr, "", &S::silent, 1},
  };
  for (const Row& row : rows) {
    Parsed p({row.arg});
    if (row.text) {
      EXPECT_EQ(p.s.*row.text, row.textValue) << row.arg;
    } else {
      EXPECT_EQ(p.s.*row.number, row.numberValue) << row.arg;
    }
  }
  // Rows that set back what another row set.
  Parsed back({"/QUOTEALL=1", "/QUOTEALL=0", "/OEM", "/ASIS", "/OVERWRITE=NO", "/OVERWRITE=YES",
               "/CRLF=REMOVE", "/CRLF=KEEP", "/QUOTES=0", "/QUOTES=1", "/OPEN=0", "/OPEN=1"});
  EXPECT_EQ(back.s.quoteAll, 0);
  EXPECT_EQ(back.s.codePage, kCodePageAsIs);
  EXPECT_EQ(back.s.overwrite, kOverwriteYes);
  EXPECT_EQ(back.s.crlfMode, kCrlfKeep);
  EXPECT_EQ(back.s.quoteStrings, 1);
  EXPECT_EQ(back.s.openResult, 1);
}

TEST(Parameters, UnlistedValuesAndUnknownKeywordsChangeNothing) {
  Parsed p({"/OVERWRITE=3", "/QUOTES=yes", "/QUOTEALL=2", "/CRLF=", "/LOGX", "/SILENTLY", "/OPEN", "/WAITING",
            "/STATUSX", "/UNKNOWN=1", "plain"});
  ConverterSettings d{};
  SetDefaultSettings(d);
  EXPECT_EQ(p.s.overwrite, d.overwrite);
  EXPECT_EQ(p.s.quoteStrings, d.quoteStrings);
  EXPECT_EQ(p.s.quoteAll, d.quoteAll);
  EXPECT_EQ(p.s.crlfMode, d.crlfMode);
  EXPECT_EQ(p.s.openResult, d.openResult);
  EXPECT_EQ(p.s.logEnabled + p.s.silent + p.s.wait, 0);
  EXPECT_EQ(p.s.statusFile, "");
  EXPECT_EQ(p.s.outputFolder, "plain");  // five characters: a folder
}

TEST(Parameters, RecordsZeroMatchesTwoRows) {
  Parsed zero({"/RECORDS=0"});
  EXPECT_EQ(zero.s.exportRecords, 0);
  EXPECT_EQ(zero.s.recordDelimiter, "0");
  Parsed later({"/RECORDS=0", "/RECORDS=CRLF"});
  EXPECT_EQ(later.s.exportRecords, 0);  // nothing sets it back
  EXPECT_EQ(later.s.recordDelimiter, "CRLF");
  EXPECT_EQ(Parsed({"/RECORDS=00"}).s.exportRecords, 1);
}

TEST(Parameters, StatusWithAndWithoutAValue) {
  EXPECT_EQ(Parsed({"/STATUS="}).s.statusFile, "");
  EXPECT_EQ(Parsed({"/STATUS=st.ini"}).s.statusFile, "st.ini");
  // Alone: status.log beside the running executable.
  std::string exe = platform::ExecutablePath();
  size_t sep = platform::LastSeparator(exe);
  ASSERT_NE(sep, std::string::npos);
  Parsed alone({"/status"});
  EXPECT_EQ(alone.s.statusFile, exe.substr(0, sep + 1) + "status.log");
  // The later keyword wins.
  EXPECT_EQ(Parsed({"/STATUS", "/STATUS=x.ini"}).s.statusFile, "x.ini");
}

TEST(Parameters, MaxLenReadsADecimalPrefix) {
  EXPECT_EQ(Parsed({"/MAXLEN=12abc"}).s.maxLength, 12);
  EXPECT_EQ(Parsed({"/MAXLEN=abc"}).s.maxLength, 0);
  EXPECT_EQ(Parsed({"/MAXLEN="}).s.maxLength, 0);
  EXPECT_EQ(Parsed({"/MAXLEN=  -7"}).s.maxLength, -7);
  EXPECT_EQ(Parsed({"/MAXLEN=+5x"}).s.maxLength, 5);
  EXPECT_EQ(Parsed({"/MAXLEN=- 5"}).s.maxLength, 0);
  EXPECT_EQ(Parsed({"/MAXLEN=99999999999"}).s.maxLength, INT32_MAX);
  EXPECT_EQ(Parsed({"/MAXLEN=-99999999999"}).s.maxLength, INT32_MIN);
  EXPECT_EQ(Parsed({"/MAXLEN=-2147483648"}).s.maxLength, INT32_MIN);
}

TEST(Parameters, ElementZeroIsNeverRead) {
  ConverterSettings s{};
  SetDefaultSettings(s);
  const char* argv[] = {"book.xls", "C:\\out"};
  ParseParameters(s, 2, argv);
  EXPECT_EQ(s.sourceFile, "");
  EXPECT_EQ(s.outputFolder, "C:\\out");
  // Counts of 0, 1 or less read nothing; null elements are skipped.
  ParseParameters(s, 1, argv);
  ParseParameters(s, -3, argv);
  ParseParameters(s, 5, nullptr);
  const char* withNull[] = {"app", nullptr, "book.xls"};
  ParseParameters(s, 3, withNull);
  EXPECT_EQ(s.sourceFile, "book.xls");
}

TEST(Parameters, LongValues) {
  const std::string longText(40, 'x');
  Parsed p({"/FIELDS=" + longText, "/RECORDS=" + longText, "/ESCAPE=" + longText,
            "/ORDER=" + std::string(150, 'o')});
  EXPECT_EQ(p.s.fieldDelimiter, std::string(31, 'x'));
  EXPECT_EQ(p.s.recordDelimiter, std::string(31, 'x'));
  EXPECT_EQ(p.s.escapeChar, std::string(31, 'x'));
  EXPECT_EQ(p.s.order, std::string(99, 'o'));
  // Paths are never cut.
  const std::string folder = "C:\\" + std::string(400, 'f');
  const std::string source = folder + "\\book.xlsx";
  Parsed paths({source, folder, folder + "\\out.csv", "/STATUS=" + folder + "\\st.ini"});
  EXPECT_EQ(paths.s.sourceFile, source);
  EXPECT_EQ(paths.s.outputFolder, folder);
  EXPECT_EQ(paths.s.outputFile, folder + "\\out.csv");
  EXPECT_EQ(paths.s.statusFile, folder + "\\st.ini");
}

#ifndef _WIN32
TEST(Parameters, PosixPathsAreNotKeywords) {
  Parsed p({"/home/me/in/*.xlsx", "/home/me/out", "/STATUS=/var/run/st.ini", "/FIELDS=a/b"});
  EXPECT_EQ(p.s.sourceFile, "/home/me/in/*.xlsx");
  EXPECT_EQ(p.s.outputFolder, "/home/me/out");
  EXPECT_EQ(p.s.statusFile, "/var/run/st.ini");
  EXPECT_EQ(p.s.fieldDelimiter, "a/b");
  // "-" always starts a keyword; a second source path is skipped.
  Parsed q({"/a/b.xls", "-/x/LOG", "/a/c.xls"});
  EXPECT_EQ(q.s.sourceFile, "/a/b.xls");
  EXPECT_EQ(q.s.outputFolder, "");
  EXPECT_EQ(q.s.logEnabled, 0);
}
#endif

}  // namespace
