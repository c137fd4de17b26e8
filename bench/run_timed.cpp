// run_timed: runs a command several times and reports its wall time and
// peak resident memory.
//
// Usage: run_timed [-n RUNS] [-C DIR] [-r FILE]... -- COMMAND [ARGS...]
//
// Each run starts COMMAND in DIR (default: here) with standard input and
// standard output on /dev/null and standard error inherited, after removing
// every FILE named with -r (relative to DIR), so that a run never finds the
// output of the one before. The time runs from just before the fork to the
// child's end, so process start-up counts. Prints one line:
//   MEDIAN_S MIN_S MAX_S PEAK_RSS_KIB MEDIAN_CPU_S
// (CPU is the child's user plus system time, which a busy machine disturbs
// less than the wall time) and fails when any run exits with a non-zero
// status.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: run_timed [-n RUNS] [-C DIR] [-r FILE]... -- COMMAND "
               "[ARGS...]\n");
  std::exit(2);
}

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void redirect(int target, const char* path, int flags) {
  const int fd = ::open(path, flags);
  if (fd < 0 || ::dup2(fd, target) < 0) {
    _exit(126);
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  std::string dir = ".";
  std::vector<std::string> removals;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) {
      usage();
    }
    if (arg == "-n") {
      runs = std::atoi(argv[++i]);
    } else if (arg == "-C") {
      dir = argv[++i];
    } else if (arg == "-r") {
      removals.emplace_back(argv[++i]);
    } else {
      usage();
    }
  }
  if (i >= argc || runs < 1) {
    usage();
  }
  char** command = argv + i;

  std::vector<double> wall;
  std::vector<double> cpu;
  long peakKib = 0;
  for (int run = 0; run < runs; ++run) {
    for (const std::string& name : removals) {
      const std::string path = dir + "/" + name;
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        std::fprintf(stderr, "run_timed: cannot remove %s\n", path.c_str());
        return 1;
      }
    }
    const double start = now();
    const pid_t child = ::fork();
    if (child < 0) {
      std::perror("run_timed: fork");
      return 1;
    }
    if (child == 0) {
      if (::chdir(dir.c_str()) != 0) {
        _exit(126);
      }
      redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
      redirect(STDOUT_FILENO, "/dev/null", O_WRONLY);
      ::execvp(command[0], command);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child) {
      std::perror("run_timed: wait4");
      return 1;
    }
    wall.push_back(now() - start);
    cpu.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    peakKib = std::max(peakKib, usage.ru_maxrss);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "run_timed: %s ended with status %d\n", command[0],
                   WIFEXITED(status) ? WEXITSTATUS(status) : -1);
      return 1;
    }
  }
  const auto [fastest, slowest] = std::minmax_element(wall.begin(), wall.end());
  std::printf("%.6f %.6f %.6f %ld %.6f\n", median(wall), *fastest, *slowest,
              peakKib, median(cpu));
  return 0;
}
