// read_bound: the least work any reader of a case can do.
//
// Usage: read_bound MANIFEST [BLOCK_BYTES]      (block size default 65536)
//
// For every line of the manifest written by generate_exports ("FILE BYTES",
// one per temperature of the control file), opens FILE (relative names are
// taken from the manifest's folder), reads its first BYTES bytes from offset
// 0 in blocks of BLOCK_BYTES with pread, finds the line ends with memchr and
// closes it again: the same opens and the same bytes as the program, with
// nothing done per value. Prints the line ends found and the bytes read so
// that neither can be optimised away.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "read_bound: %s\n", what.c_str());
  std::exit(1);
}

struct Range {
  std::string path;
  std::uint64_t bytes;
};

std::vector<Range> readManifest(const std::filesystem::path& manifest) {
  std::ifstream in(manifest);
  if (!in) {
    fail("cannot open " + manifest.string());
  }
  const std::filesystem::path folder = manifest.parent_path();
  std::vector<Range> ranges;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    std::string name;
    std::uint64_t bytes = 0;
    if (!(fields >> name >> bytes)) {
      fail("bad manifest line: " + line);
    }
    std::filesystem::path path = name;
    if (path.is_relative()) {
      path = folder / path;
    }
    ranges.push_back({path.string(), bytes});
  }
  return ranges;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: read_bound MANIFEST [BLOCK_BYTES]\n");
    return 2;
  }
  std::size_t block = 65536;
  if (argc == 3) {
    block = std::strtoull(argv[2], nullptr, 10);
    if (block == 0) {
      fail("block size must be positive");
    }
  }
  const std::vector<Range> ranges = readManifest(argv[1]);
  std::vector<char> buffer(block);
  std::uint64_t lineEnds = 0;
  std::uint64_t total = 0;
  for (const Range& range : ranges) {
    const int fd = ::open(range.path.c_str(), O_RDONLY);
    if (fd < 0) {
      fail("cannot open " + range.path + ": " + std::strerror(errno));
    }
    std::uint64_t offset = 0;
    while (offset < range.bytes) {
      const std::uint64_t left = range.bytes - offset;
      const std::size_t want = left < block ? static_cast<std::size_t>(left) : block;
      const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        fail("short read of " + range.path);
      }
      const char* p = buffer.data();
      const char* end = p + got;
      while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
        ++lineEnds;
        p = static_cast<const char*>(lf) + 1;
      }
      offset += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    total += offset;
  }
  std::printf("%llu line ends in %llu bytes of %zu ranges\n",
              static_cast<unsigned long long>(lineEnds),
              static_cast<unsigned long long>(total), ranges.size());
  return 0;
}
