// The program allocates nothing per record or per value: two whole runs
// that differ only in how much the reader has to pass over (thousands of
// rows at another temperature, word lines, rows of 80 columns) make the
// same number of allocations. The files live in memory (fuzz/memory_os.h);
// its own allocations depend on names and output only, which both runs
// share.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <cstdlib>
#include <new>
#include <string>

#include "../fuzz/memory_os.h"
#include "entropy/driver.h"
#include "entropy/isotherm_reader.h"
#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/units.h"
#include "runtime/run_lifecycle.h"

namespace {

std::atomic<long> allocationCount{0};

}  // namespace

// Counting replacements of the global allocation functions, for the whole
// test program; they only count and hand on to malloc.
void* operator new(std::size_t size) {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// GCC takes a free() inside these for a mismatch with new; here it is the
// match, since the replaced new above takes from malloc.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace korvelin {
namespace {

using fuzzing::MemoryOs;

// An isotherm at t, after `padding` rows at another temperature, word
// lines and wide rows that the reader must read and pass over.
std::string isothermFile(int t, int padding) {
  std::string bytes = "[Header]\r\nTITLE,An export\r\n[Data]\r\n";
  for (int r = 0; r < padding; ++r) {
    bytes += "Comment,Time,Field,Temperature,Moment\r\n";
    bytes += ",," + std::to_string(r * 10) + "," + std::to_string(t + 50) +
             ".0,1.25E-03";
    for (int c = 0; c < 75; ++c) {
      bytes += ",," + std::to_string(c) + ".5";
    }
    bytes += "\r\n";
  }
  for (int k = 0; k <= 20; ++k) {
    bytes += ",," + std::to_string(k * 2500) + "," + std::to_string(t) + "," +
             std::to_string(k * (400 - t)) + ".5\r\n";
  }
  return bytes;
}

struct RunCount {
  long allocations = 0;
  std::string console;
  std::string table;
};

RunCount countRun(int padding) {
  MemoryOs os;
  platform::installOs(os);
  recordio::resetUnitsForTesting();
  recordio::resetConsoleForTesting();
  entropy::forgetReadSetsForTesting();
  os.setStandardInput("", true);
  std::string control = "1.5\r\n3 1\r\n1.0 2.0 3.0\r\n";
  for (int t = 300; t < 306; ++t) {
    const std::string name = "iso" + std::to_string(t) + ".dat";
    control += std::to_string(t) + "\r\n" + name + "\r\n";
    os.addFile(name, isothermFile(t, padding));
  }
  os.addFile("KORVELIN.inp", control);
  os.standardOutput.reserve(1 << 20);
  auto computation = std::make_unique<entropy::Computation>();

  RunCount result;
  const long before = allocationCount.load();
  try {
    runProgram([&] { entropy::runEntropyProgram(*computation); });
  } catch (const fuzzing::ProcessExit& exit) {
    EXPECT_EQ(exit.status, 0);
  }
  result.allocations = allocationCount.load() - before;
  result.console = os.standardOutput;
  const MemoryOs::Entry* table = os.find("KORVELIN.dat");
  result.table = table == nullptr ? "(none)" : table->bytes;
  recordio::resetUnitsForTesting();
  recordio::resetConsoleForTesting();
  platform::installOs(platform::hostOs(0, nullptr));
  return result;
}

TEST(AllocationTest, NoAllocationPerRecordOrValue) {
  const RunCount plain = countRun(0);
  const RunCount padded = countRun(3000);  // 6,000 more records per file
  ASSERT_EQ(plain.console, padded.console);
  ASSERT_EQ(plain.table, padded.table);
  ASSERT_NE(plain.table, "(none)");
  EXPECT_EQ(plain.allocations, padded.allocations);
}

}  // namespace
}  // namespace korvelin
