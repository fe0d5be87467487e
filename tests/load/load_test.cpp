// The program under load and under failing output: processes sharing the
// activity log and the status file, output that cannot be stored (size
// limit, full disk, no permission, impossible or locked names), and batches
// whose memory must not grow with their length.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/test_support.h"

#ifndef TABREVO_PROGRAM_FILE
#error "TABREVO_PROGRAM_FILE names the built program"
#endif
#ifndef TABREVO_LOAD_WORKER
#error "TABREVO_LOAD_WORKER names the worker process of these tests"
#endif

namespace fs = std::filesystem;
using testing_support::FixturePath;
using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

constexpr int kExitWriteFailure = 4;

// How a child process is started: its folder, and on POSIX limits and user.
struct Launch {
  std::string folder;
  std::string stderrFile;   // POSIX: where its stderr goes (empty: /dev/null)
  long fileSizeLimit = -1;  // POSIX: RLIMIT_FSIZE in bytes
  bool asNobody = false;    // POSIX, when root: run as the user nobody
};

struct Child {
#ifdef _WIN32
  HANDLE process = nullptr;
#else
  pid_t pid = -1;
#endif
  bool started() const {
#ifdef _WIN32
    return process != nullptr;
#else
    return pid > 0;
#endif
  }
};

#ifdef _WIN32
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  return "\"" + arg + "\"";  // the tests' arguments hold no quotes
}
#endif

Child Start(const std::string& program, const std::vector<std::string>& arguments, const Launch& how) {
  Child child;
#ifdef _WIN32
  std::string command = Quoted(program);
  for (const std::string& a : arguments) command += " " + Quoted(a);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     how.folder.empty() ? nullptr : how.folder.c_str(), &startup, &process)) {
    CloseHandle(process.hThread);
    child.process = process.hProcess;
  }
#else
  std::vector<std::string> args = {program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int err = how.stderrFile.empty() ? open("/dev/null", O_WRONLY)
                                     : open(how.stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    dup2(err, 2);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    if (!how.folder.empty() && chdir(how.folder.c_str()) != 0) _exit(126);
    if (how.fileSizeLimit >= 0) {
      rlimit limit{static_cast<rlim_t>(how.fileSizeLimit), static_cast<rlim_t>(how.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (how.asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    setenv("XDG_DATA_HOME", (how.folder.empty() ? std::string("/tmp") : how.folder + "/appdata").c_str(), 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  child.pid = pid;
#endif
  return child;
}

// Waits for the child; its exit code, or -1 when it had to be stopped.
int Wait(Child& child, int seconds = 120) {
#ifdef _WIN32
  if (WaitForSingleObject(child.process, static_cast<DWORD>(seconds) * 1000) != WAIT_OBJECT_0) {
    TerminateProcess(child.process, 99);
    WaitForSingleObject(child.process, 5000);
    CloseHandle(child.process);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(child.process, &code);
  CloseHandle(child.process);
  return static_cast<int>(code);
#else
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(child.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child.pid, SIGKILL);
      waitpid(child.pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

bool Running(Child& child) {
#ifdef _WIN32
  return WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT;
#else
  return kill(child.pid, 0) == 0 && waitpid(child.pid, nullptr, WNOHANG) == 0;
#endif
}

// Runs the program. On Windows with /LOG: a failure goes to the activity
// log there, where without it a message box would wait for a click.
int RunProgram(std::vector<std::string> arguments, const Launch& how, int seconds = 60) {
#ifdef _WIN32
  arguments.push_back("/LOG");
#endif
  Child child = Start(TABREVO_PROGRAM_FILE, arguments, how);
  EXPECT_TRUE(child.started()) << TABREVO_PROGRAM_FILE;
  return child.started() ? Wait(child, seconds) : -1;
}

// The value of `key` in the status file, or "" when it has none.
std::string StatusValue(const std::string& text, const std::string& key) {
  size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) {
    if (text.rfind(key + "=", 0) != 0) return "";
    at = 0;
  } else {
    ++at;
  }
  at += key.size() + 1;
  size_t end = text.find_first_of("\r\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// A run whose output cannot be stored takes the failure road: write-failure
// exit code, its failures (one a sheet) in the status file (whose last word stays the end
// of the run), and on POSIX a line naming the file and the reason.
void ExpectWriteFailure(int exitCode, const std::string& statusFile, const std::string& errors,
                        const std::string& reason, const char* failures = "1") {
  EXPECT_EQ(exitCode, kExitWriteFailure);
  std::string status = ReadFile(statusFile);
  EXPECT_EQ(StatusValue(status, "Failures"), failures) << status;
  EXPECT_EQ(StatusValue(status, "Result"), "Successful") << status;
#ifndef _WIN32
  EXPECT_NE(errors.find("tabrevo: Unable to "), std::string::npos) << errors;
  EXPECT_NE(errors.find(reason), std::string::npos) << errors;
#else
  (void)errors;
  (void)reason;
#endif
}

// Four processes append lines of up to 100 KB to one log at the same time:
// every line arrives whole, none mixed into another, none lost.
TEST(ActivityLog, FourProcessesAppendWholeLines) {
  ScratchDir dir;
  const std::string log = dir.File("wizards.log");
  const int kLines = 150;
  std::vector<Child> children;
  for (int id = 0; id < 4; ++id)
    children.push_back(
        Start(TABREVO_LOAD_WORKER, {"log", log, std::to_string(kLines), std::to_string(id)}, {}));
  for (Child& c : children) {
    ASSERT_TRUE(c.started());
    EXPECT_EQ(Wait(c), 0);
  }
  std::string text = ReadFile(log);
#ifdef _WIN32
  const std::string lineBreak = "\r\n";
#else
  const std::string lineBreak = "\n";
#endif
  ASSERT_EQ(text.rfind(lineBreak, 0), 0u) << "a log begins with a line break";
  std::map<int, std::set<int>> seen;
  size_t pos = lineBreak.size();
  int lines = 0;
  while (pos <= text.size()) {
    size_t end = text.find(lineBreak, pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    ++lines;
    // 2024.03.05 14:07:09 TABREVO    worker 2 line 17 ccc... end
    ASSERT_GT(line.size(), 31u) << "line " << lines;
    EXPECT_EQ(line.substr(19, 12), " TABREVO    ") << "line " << lines;
    int id = -1, n = -1;
    ASSERT_EQ(std::sscanf(line.c_str() + 31, "worker %d line %d ", &id, &n), 2) << line.substr(0, 80);
    ASSERT_TRUE(id >= 0 && id < 4 && n >= 0 && n < kLines) << line.substr(0, 80);
    std::string want = "worker " + std::to_string(id) + " line " + std::to_string(n) + " ";
    want.append(static_cast<size_t>(n) * 7919 % 100000, static_cast<char>('a' + id));
    want += " end";
    EXPECT_TRUE(line.substr(31) == want) << "torn or mixed: worker " << id << " line " << n;
    EXPECT_TRUE(seen[id].insert(n).second) << "twice: worker " << id << " line " << n;
    if (end == std::string::npos) break;
    pos = end + lineBreak.size();
  }
  EXPECT_EQ(lines, 4 * kLines);
  for (int id = 0; id < 4; ++id) EXPECT_EQ(seen[id].size(), static_cast<size_t>(kLines)) << id;
}

// While a batch runs, another process reads the status file again and
// again: it finds no file yet, or a whole one with a known word, never a
// part of one.
TEST(StatusFile, APollingReaderNeverSeesATornFile) {
  ScratchDir dir;
  const std::string books = dir.File("books");
  fs::create_directory(books);
  for (int i = 0; i < 150; ++i)
    fs::copy_file(FixturePath("engine/data_totals.xlsx"), books + "/b" + std::to_string(i) + ".xlsx");
  const std::string out = dir.File("out_folder");
  fs::create_directory(out);
  const std::string status = dir.File("status.ini");
  // Other sections and keys around ours must survive every write too.
  testing_support::WriteFile(status, "[Caller]\r\nJob=42\r\n");
  Launch how;
  how.folder = dir.path();
#ifdef _WIN32
  const std::string pattern = books + "\\*.xlsx";
#else
  const std::string pattern = books + "/*.xlsx";
#endif
  Child child = Start(TABREVO_PROGRAM_FILE, {pattern, out, "/SILENT", "/BATCH", "/STATUS=" + status}, how);
  ASSERT_TRUE(child.started());
  const std::set<std::string> words = {"Conversion In Progress", "Failed", "Successful"};
  int reads = 0, torn = 0;
  std::string example;
  auto check = [&] {
    std::FILE* f = std::fopen(status.c_str(), "rb");
    if (!f) return;  // held by the writer for a moment (Windows)
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    ++reads;
    bool whole = text.find("[Caller]") != std::string::npos && StatusValue(text, "Job") == "42";
    if (text.find("[TABREVO]") != std::string::npos)
      whole = whole && words.count(StatusValue(text, "Result")) == 1;
    if (!whole) {
      ++torn;
      if (example.empty()) example = text;
    }
  };
  while (Running(child)) check();
  EXPECT_EQ(Wait(child), 0);
  check();
  EXPECT_GT(reads, 20);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads, for example:\n" << example;
  std::string last = ReadFile(status);
  EXPECT_EQ(StatusValue(last, "Result"), "Successful") << last;
  EXPECT_EQ(StatusValue(last, "Failures"), "0") << last;
  EXPECT_FALSE(fs::is_empty(out));
}

// A path longer than any the file system takes.
TEST(OutputFaults, PathTooLongIsAFailure) {
  ScratchDir dir;
  const std::string status = dir.File("status.ini");
  const std::string output = dir.File(std::string(300, 'n') + ".csv");
  Launch how;
  how.folder = dir.path();
  how.stderrFile = dir.File("stderr.txt");
  int code =
      RunProgram({FixturePath("engine/data_totals.xlsx"), output, "/SILENT", "/STATUS=" + status}, how);
  ExpectWriteFailure(code, status, ReadFile(how.stderrFile), "name too long", "2");  // two sheets
  EXPECT_FALSE(testing_support::FileExists(output));
}

#ifndef _WIN32
// The file-size limit reached (ulimit -f): the sheet ends at the limit and
// the run reports it, within seconds, though the sheet has 17 GB of text.
// The program ignores SIGXFSZ itself, so the limit fails the write.
TEST(OutputFaults, FileSizeLimitEndsTheSheetAtOnce) {
  ScratchDir dir;
  const std::string status = dir.File("status.ini");
  const std::string output = dir.File("far.csv");
  Launch how;
  how.folder = dir.path();
  how.stderrFile = dir.File("stderr.txt");
  how.fileSizeLimit = 8 << 20;
  auto start = std::chrono::steady_clock::now();
  int code =
      RunProgram({FixturePath("load/far_corner.xlsx"), output, "/SILENT", "/STATUS=" + status}, how, 60);
  auto took = std::chrono::steady_clock::now() - start;
  ExpectWriteFailure(code, status, ReadFile(how.stderrFile), "far.csv: File too large");
  EXPECT_LT(took, std::chrono::seconds(20));
  EXPECT_EQ(fs::file_size(output), static_cast<uintmax_t>(8 << 20));

  // The same for a small workbook whose strings fill 12 GB of text.
  code = RunProgram({FixturePath("load/megabyte_strings.xlsx"), output, "/SILENT", "/STATUS=" + status}, how,
                    60);
  ExpectWriteFailure(code, status, ReadFile(how.stderrFile), "far.csv: File too large");
}

// A full disk: a small file system of its own, where mounting one is
// allowed (root); skipped elsewhere.
TEST(OutputFaults, FullDiskIsAFailure) {
  ScratchDir dir;
  const std::string disk = dir.File("disk");
  fs::create_directory(disk);
  if (mount("tabrevo_test", disk.c_str(), "tmpfs", 0, "size=2m") != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  const std::string status = dir.File("status.ini");
  Launch how;
  how.folder = dir.path();
  how.stderrFile = dir.File("stderr.txt");
  int code = RunProgram({FixturePath("load/far_corner.xlsx"), disk, "/SILENT", "/STATUS=" + status}, how, 60);
  ExpectWriteFailure(code, status, ReadFile(how.stderrFile), "FAR.csv: No space left on device");
  umount2(disk.c_str(), MNT_DETACH);
}

// A folder the user may not write into (the test drops to the user nobody
// when it runs as root, who may write anywhere).
TEST(OutputFaults, FolderWithoutWritePermissionIsAFailure) {
  ScratchDir dir;
  const std::string folder = dir.File("locked");
  fs::create_directory(folder);
  chmod(dir.path().c_str(), 0777);  // the status file and stderr stay writable
  chmod(folder.c_str(), 0555);
  const std::string status = dir.File("status.ini");
  Launch how;
  how.folder = dir.path();
  how.stderrFile = dir.File("stderr.txt");
  how.asNobody = true;
  // The program and the workbook where that user may read them (the build
  // may sit in a folder only its owner can enter).
  const std::string program = dir.File("tabrevo");
  const std::string book = dir.File("book.xlsx");
  fs::copy_file(TABREVO_PROGRAM_FILE, program);
  fs::copy_file(FixturePath("engine/data_totals.xlsx"), book);
  chmod(book.c_str(), 0644);
  Child child = Start(program, {book, folder, "/SILENT", "/STATUS=" + status}, how);
  ASSERT_TRUE(child.started());
  int code = Wait(child, 60);
  ExpectWriteFailure(code, status, ReadFile(how.stderrFile), "Permission denied", "2");
  EXPECT_TRUE(fs::is_empty(folder));
}

// The peak memory of a batch does not grow with the number of workbooks.
// TABREVO_BATCH_WORKBOOKS sets the long batch (default 2,000).
TEST(Batch, PeakMemoryDoesNotGrowWithTheWorkbookCount) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's quarantine of freed memory grows with the run";
#endif
  const char* env = std::getenv("TABREVO_BATCH_WORKBOOKS");
  const int longCount = env ? std::atoi(env) : 2000;
  size_t perBook = 0;
  auto peakOf = [&perBook](int count, double* seconds) -> long {
    ScratchDir dir;
    const std::string books = dir.File("books");
    fs::create_directory(books);
    for (int i = 0; i < count; ++i)
      fs::copy_file(FixturePath("load/tiny.xlsx"), books + "/t" + std::to_string(i) + ".xlsx");
    Launch how;
    how.folder = dir.path();
    auto start = std::chrono::steady_clock::now();
    Child child = Start(TABREVO_PROGRAM_FILE, {books + "/*.xlsx", dir.File("all.csv"), "/SILENT"}, how);
    int status = 0;
    rusage usage{};
    wait4(child.pid, &status, 0, &usage);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    size_t size = ReadFile(dir.File("all.csv")).size();
    if (perBook == 0) perBook = size / static_cast<size_t>(count);
    EXPECT_EQ(size, static_cast<size_t>(count) * perBook);  // every workbook converted
    return usage.ru_maxrss;                                 // KiB
  };
  double shortSeconds = 0, longSeconds = 0;
  long shortPeak = peakOf(100, &shortSeconds);
  long longPeak = peakOf(longCount, &longSeconds);
  std::printf("batch peak memory: 100 workbooks %ld KiB (%.2f s), %d workbooks %ld KiB (%.2f s)\n", shortPeak,
              shortSeconds, longCount, longPeak, longSeconds);
  EXPECT_LT(longPeak, shortPeak + 2048);
}
#else
// An output file that another process holds open without sharing it.
TEST(OutputFaults, FileLockedByAnotherProcessIsAFailure) {
  ScratchDir dir;
  const std::string status = dir.File("status.ini");
  const std::string output = dir.File("locked.csv");
  testing_support::WriteFile(output, "kept\r\n");
  HANDLE held = CreateFileA(output.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Launch how;
  how.folder = dir.path();
  int code =
      RunProgram({FixturePath("engine/data_totals.xlsx"), output, "/SILENT", "/STATUS=" + status}, how);
  CloseHandle(held);
  ExpectWriteFailure(code, status, "", "", "2");
  EXPECT_EQ(ReadFile(output), "kept\r\n");  // not cut short, not written into
}

// Names Windows cannot give a file: a reserved device name as the output
// file, and characters names cannot hold.
TEST(OutputFaults, ForbiddenNamesAreFailures) {
  for (const char* name : {"out<1>.csv", "out|x.csv", "a?.csv"}) {
    ScratchDir dir;
    const std::string status = dir.File("status.ini");
    Launch how;
    how.folder = dir.path();
    int code = RunProgram(
        {FixturePath("engine/data_totals.xlsx"), dir.File(name), "/SILENT", "/STATUS=" + status}, how);
    ExpectWriteFailure(code, status, "", "", "2");
  }
}
#endif

}  // namespace
