// Library calls on several threads at once are independent: each gives the
// bytes it gives alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/settings.h"
#include "loaded_library.h"
#include "tests/support/reader_pending.h"
#include "tests/support/test_support.h"

using library_test::Convert;
using library_test::Loaded;
using testing_support::CorpusDir;
using testing_support::FixturePath;
using testing_support::LoadFailure;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

// Every file a conversion wrote into its folder, by name.
std::map<std::string, std::string> FolderContents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

struct Job {
  std::string source;
  std::vector<std::string> options;
  int32_t expected = 0;
};

// The workbooks of the test: the fixtures and a few corpus files whose
// readers are built, and one that cannot be read. Books whose reader is not
// built yet are listed in `skipped`.
std::vector<Job> Jobs(const ScratchDir& scratch, std::string* skipped) {
  std::vector<Job> jobs;
  std::vector<std::string> books = {FixturePath("engine/bulk_0.xlsx"), FixturePath("engine/bulk_1.xlsx"),
                                    FixturePath("engine/bulk_2.xls"), FixturePath("engine/bulk_3.xls"),
                                    FixturePath("engine/data_totals.xlsx")};
  if (std::string corpus = CorpusDir(); !corpus.empty()) {
    for (const char* name :
         {"xlsx/calamine__date.xlsx", "xlsx/closedxml__file1.xlsx", "xls/xlrd__Formate.xls",
          "xls/libxls__65536-rows-xls.xls", "xlsb/calamine__date.xlsb", "xlsb/edr__Test10x10000.xlsb"}) {
      std::string path = corpus + "/" + name;
      if (fs::exists(path)) books.push_back(path);
    }
  }
  const std::vector<std::vector<std::string>> options = {
      {}, {"/FIELDS=TAB", "/QUOTES=0"}, {"/QUOTEALL=1", "/RECORDS=LF"}, {"/FIELDS=;", "/ESCAPE=\\"}};
  for (size_t i = 0; i < books.size(); ++i) {
    std::string why = LoadFailure(books[i]);
    if (testing_support::IsPendingReader(why) || testing_support::IsUnsupportedFormat(why)) {
      *skipped += books[i] + ": " + why + "\n";
      continue;
    }
    EXPECT_EQ(why, "") << books[i];
    // Only names ending in .xls or .xlsx are sources; other books go under
    // an .xlsx name, since the content decides how a book is read.
    std::string source = books[i];
    if (!EndsWithNoCase(source, ".xls") && !EndsWithNoCase(source, ".xlsx")) {
      source = scratch.File("book" + std::to_string(i) + ".xlsx");
      fs::copy_file(books[i], source);
    }
    jobs.push_back(Job{source, options[i % options.size()], 0});
  }
  std::string broken = scratch.File("broken.xlsx");
  WriteFile(broken, "PK\x03\x04 truncated");
  jobs.push_back(Job{broken, {"/LOG"}, 3});
  return jobs;
}

TEST(Concurrency, ParallelCallsGiveTheBytesOfSequentialOnes) {
  ASSERT_EQ(Loaded().error, "");
  ScratchDir scratch;
  std::string skipped;
  std::vector<Job> jobs = Jobs(scratch, &skipped);
  if (jobs.size() < 3) GTEST_SKIP() << "too few readable workbooks:\n" << skipped;
  if (!skipped.empty()) std::cout << "not read yet:\n" << skipped;

  auto run = [&](const Job& job, const std::string& folder) {
    std::vector<std::string> args{job.source, folder};
    args.insert(args.end(), job.options.begin(), job.options.end());
    return Convert(args);
  };

  // Alone, one after the other.
  std::vector<std::map<std::string, std::string>> alone;
  for (size_t i = 0; i < jobs.size(); ++i) {
    std::string folder = scratch.File("seq" + std::to_string(i));
    fs::create_directory(folder);
    ASSERT_EQ(run(jobs[i], folder), jobs[i].expected) << jobs[i].source;
    alone.push_back(FolderContents(folder));
    if (jobs[i].expected == 0) {
      EXPECT_FALSE(alone.back().empty()) << jobs[i].source;
    }
  }

  // All at once, twice over, so that every book is converted by two threads
  // at the same time as well.
  const int kRounds = 2;
  std::vector<std::string> folders;
  std::vector<int32_t> results(jobs.size() * kRounds, -1);
  for (size_t t = 0; t < results.size(); ++t) {
    folders.push_back(scratch.File("par" + std::to_string(t)));
    fs::create_directory(folders.back());
  }
  std::vector<std::thread> threads;
  for (size_t t = 0; t < results.size(); ++t)
    threads.emplace_back([&, t] { results[t] = run(jobs[t % jobs.size()], folders[t]); });
  for (std::thread& th : threads) th.join();

  for (size_t t = 0; t < results.size(); ++t) {
    const Job& job = jobs[t % jobs.size()];
    EXPECT_EQ(results[t], job.expected) << job.source;
    EXPECT_TRUE(FolderContents(folders[t]) == alone[t % jobs.size()]) << job.source;
  }
}

// Eight threads call Tabrevo_ConverterStr over and over, each on another
// workbook at any moment, for TABREVO_SOAK_SECONDS (default 2): every call
// gives the result and the bytes of the same call made alone.
TEST(Concurrency, EightThreadsCallingForAWhileGiveTheBytesOfSequentialCalls) {
  ASSERT_EQ(Loaded().error, "");
  ASSERT_NE(Loaded().converterStr, nullptr);
  ScratchDir scratch;
  std::string skipped;
  std::vector<Job> jobs = Jobs(scratch, &skipped);
  if (jobs.size() < 3) GTEST_SKIP() << "too few readable workbooks:\n" << skipped;
  const char* env = std::getenv("TABREVO_SOAK_SECONDS");
  const double seconds = env ? std::atof(env) : 2.0;

  auto call = [&](const Job& job, const std::string& folder) {
    std::string text = "app#" + job.source + "#" + folder;
    for (const std::string& o : job.options) text += "#" + o;
    return Loaded().converterStr(0, text.c_str());
  };
  std::vector<std::map<std::string, std::string>> alone;
  for (size_t i = 0; i < jobs.size(); ++i) {
    std::string folder = scratch.File("seq" + std::to_string(i));
    fs::create_directory(folder);
    ASSERT_EQ(call(jobs[i], folder), jobs[i].expected) << jobs[i].source;
    alone.push_back(FolderContents(folder));
  }

  const int kThreads = 8;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::atomic<int> calls{0}, wrong{0};
  std::vector<std::string> firstWrong(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // At least one round, however short the time.
      for (size_t k = 0; k == 0 || std::chrono::steady_clock::now() < deadline; ++k) {
        size_t j = (static_cast<size_t>(t) + k) % jobs.size();
        std::string folder = scratch.File("soak" + std::to_string(t) + "_" + std::to_string(k));
        fs::create_directory(folder);
        int32_t result = call(jobs[j], folder);
        bool same = result == jobs[j].expected && FolderContents(folder) == alone[j];
        if (!same && wrong++ == 0) firstWrong[static_cast<size_t>(t)] = jobs[j].source;
        ++calls;
        std::error_code ec;
        fs::remove_all(folder, ec);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  std::cout << calls << " calls on " << kThreads << " threads in " << seconds << " s over " << jobs.size()
            << " workbooks" << std::endl;
  EXPECT_EQ(wrong, 0);
  for (const std::string& w : firstWrong)
    if (!w.empty()) ADD_FAILURE() << "different output: " << w;
}

}  // namespace
