// Runs a piece of work in a child process and measures what it took: wall
// time, processor time and peak resident memory (the child's ru_maxrss).
// The resource tests state their time bounds in processor time, which a
// busy machine (CI runs suites side by side) does not stretch; a child still
// running at its deadline (wall time) is killed, so a hang fails the test
// instead of stalling it.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace resource_test {

// Sanitizer builds run the same cases at a fraction of the size (the work
// is several times slower there, and their shadow memory and quarantine
// make a memory bound meaningless): the bounds on memory are checked in
// plain builds only.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// Sizes: the full figure, or an eighth of it under a sanitizer.
inline uint64_t Scaled(uint64_t full) { return kSanitized ? full / 8 : full; }

struct Measured {
  bool finished = false;  // the child ended by itself, within the deadline
  double seconds = 0;     // wall time
  double cpuSeconds = 0;  // user + system time of the child
  double peakMiB = 0;
  std::string answer;  // what the work returned
};

// Runs `work` in a forked child, which is killed after `deadlineSeconds`.
inline Measured RunMeasured(const std::function<std::string()>& work, unsigned deadlineSeconds) {
  Measured m;
  std::fflush(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return m;
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    alarm(deadlineSeconds);
    std::string answer = work();
    size_t done = 0;
    while (done < answer.size()) {
      ssize_t n = write(fds[1], answer.data() + done, answer.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    m.answer.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  if (wait4(child, &status, 0, &usage) != child) return m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  m.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::printf("    measured: %.2f s processor time (%.2f s wall), peak %.1f MiB%s\n", m.cpuSeconds, m.seconds,
              m.peakMiB, m.finished ? "" : " (killed or crashed)");
  return m;
}

// The work finished within its processor time and (where the sanitizers do
// not add their own memory) its peak resident memory.
inline void ExpectWithin(const Measured& m, double seconds, double mib) {
  EXPECT_TRUE(m.finished);
  EXPECT_LT(m.cpuSeconds, seconds);
  if (!kSanitized) {
    EXPECT_LT(m.peakMiB, mib);
  }
}

}  // namespace resource_test
