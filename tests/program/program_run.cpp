#include "program_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "engine/activity_log.h"

#ifndef TABREVO_PROGRAM_FILE
#error "TABREVO_PROGRAM_FILE names the built program"
#endif

namespace fs = std::filesystem;
using testing_support::ReadFile;

ProgramCopy::ProgramCopy() {
#ifdef _WIN32
  program_ = dir_.File("tabrevo.exe");
#else
  program_ = dir_.File("tabrevo");
#endif
  std::error_code ec;
  fs::copy_file(TABREVO_PROGRAM_FILE, program_, ec);
  EXPECT_FALSE(ec) << "copy of " << TABREVO_PROGRAM_FILE << ": " << ec.message();
}

std::string ProgramCopy::IniPath() const { return dir_.File("tabrevo.ini"); }

std::string ProgramCopy::LogPath() const {
#ifdef _WIN32
  return ActivityLogPath();  // the user's application-data folder, shared with the test
#else
  return dir_.File("appdata/wizards.log");
#endif
}

std::string TailFrom(const std::string& path, size_t offset) {
  std::string text = ReadFile(path);
  return offset < text.size() ? text.substr(offset) : std::string();
}

#ifdef _WIN32

namespace {

// Quotes an argument by the C runtime's rules for splitting a command line.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      out.append(backslashes * 2 + 1, '\\');
    else
      out.append(backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

}  // namespace

ProgramRun ProgramCopy::Run(const std::vector<std::string>& arguments, bool, const std::string&) const {
  ProgramRun run;
  std::string command = Quoted(program_);
  for (const std::string& a : arguments) command += " " + Quoted(a);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program_.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir_.path().c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << command;
    return run;
  }
  // Generous: a run that waits for a message box fails here, not forever.
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the program did not end: " << command;
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  run.exitCode = static_cast<int>(code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

#else

ProgramRun ProgramCopy::Run(const std::vector<std::string>& arguments, bool terminal,
                            const std::string& standardOutput) const {
  ProgramRun run;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("XDG_DATA_HOME=", 0) != 0) env.emplace_back(*e);
  env.push_back("XDG_DATA_HOME=" + dir_.File("appdata"));
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = {program_};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::string errPath = dir_.File("stderr.txt");
  int errFd = -1, master = -1;
  if (terminal) {
    if (::openpty(&master, &errFd, nullptr, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "no pseudo-terminal";
      return run;
    }
  } else {
    errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  std::string outPath = standardOutput.empty() ? dir_.File("stdout.txt") : standardOutput;
  int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir_.path().c_str());
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, program_.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(outFd);
  ::close(errFd);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program_;
    if (master >= 0) ::close(master);
    return run;
  }
  if (master >= 0) {
    // Read the terminal until the program has closed its side.
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      run.errors.append(buffer, static_cast<size_t>(n));
    }
    ::close(master);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!terminal) run.errors = ReadFile(errPath);
  if (standardOutput.empty()) run.output = ReadFile(outPath);
  return run;
}

#endif
