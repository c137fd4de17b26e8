// generate_exports: writes one benchmark case into a folder.
//
// Usage: generate_exports small|large|long-lines|huge OUTDIR
//
//   small       30 exports of one isotherm each (about 2 MB), one file per
//               temperature, as a lab that exports per isotherm has them.
//   large       one export of 100 isotherms (about 20 MB) named for each of
//               its 100 temperatures: the program reads it from the start
//               once per temperature, about 1 GB per run.
//   long-lines  as small, with rows of about 2 KB (raw coil channels).
//   huge        one export of about 1 GB (the study of `large` measured
//               again and again, then two isotherms half a kelvin off the
//               grid) named for those last two temperatures, so that each
//               run reads nearly the whole file; for the memory check only.
//
// Each case folder gets KORVELIN.inp, the exports, and bench-manifest.txt:
// one line per temperature of the control file, in its order, holding the
// file name and the number of bytes the program reads of it for that
// temperature (through the line of the 100th accepted row, or the whole file
// when fewer rows are accepted). The read bound reads exactly these bytes.
//
// The output is byte-for-byte the same on every run and machine: own PRNG,
// fixed printf formats, model arithmetic without library transcendentals.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exports.h"

namespace {

using korvelin::bench::Layout;
using korvelin::bench::Measurement;
using korvelin::bench::Protocol;
using korvelin::bench::SplitMix64;

constexpr std::uint64_t kSeed = 0x6B6F7276656C696EULL;
constexpr std::uint64_t kSpareSeed = kSeed ^ 0x5A5A5A5A5A5A5A5AULL;
constexpr int kMaxAccepted = 100;
// The reader's temperature window, in single precision as it stores it.
constexpr float kTemperatureTolerance = 0.25f;
constexpr const char* kTargetFields = "0.5 1.0 2.0 3.0 4.0";
constexpr std::uint64_t kHugeBytes = 1'000'000'000;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "generate_exports: %s\n", what.c_str());
  std::exit(1);
}

std::string kelvinText(double temperature) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", temperature);
  return buffer;
}

// Where each data row of an export ends and the temperature it prints, for
// the manifest.
struct RowEnd {
  float temperature;
  std::uint64_t end;
};

class ExportFile {
 public:
  ExportFile(const std::filesystem::path& folder, std::string name)
      : name_(std::move(name)) {
    const std::string path = (folder / name_).string();
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
      fail("cannot create " + path);
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }

  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  void text(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      fail("cannot write " + name_);
    }
    size_ += bytes.size();
  }

  // A row is "," + time + tail; the first (comment) cell is empty.
  void row(double time, std::string_view tail, float temperature) {
    text(",");
    text(korvelin::bench::timeCell(time));
    text(tail);
    rows_.push_back({temperature, size_});
  }

  void close() {
    if (std::fclose(file_) != 0) {
      fail("cannot write " + name_);
    }
    file_ = nullptr;
  }

  ~ExportFile() {
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }

  const std::string& name() const { return name_; }
  std::uint64_t size() const { return size_; }

  // Bytes read for one wanted temperature: through the LF of the row that
  // is the 100th within the window, or all of them.
  std::uint64_t bytesRead(float wanted) const {
    int accepted = 0;
    for (const RowEnd& r : rows_) {
      const double offset =
          static_cast<double>(r.temperature) - static_cast<double>(wanted);
      if (std::fabs(offset) <= static_cast<double>(kTemperatureTolerance) &&
          ++accepted == kMaxAccepted) {
        return r.end;
      }
    }
    return size_;
  }

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::vector<RowEnd> rows_;
};

// One isotherm measured and laid out: the row tails do not depend on the
// time stamp, so a repeated pass only writes new times.
struct LaidOutIsotherm {
  double nominal;
  std::vector<Measurement> rows;
  std::vector<std::string> tails;
  std::vector<float> printedTemperatures;
};

LaidOutIsotherm layOut(double nominal, Protocol protocol, Layout layout,
                       SplitMix64& rng, SplitMix64& spare, double& clock) {
  LaidOutIsotherm iso{nominal, {}, {}, {}};
  iso.rows = korvelin::bench::measureIsotherm(nominal, protocol, rng, clock);
  for (std::size_t k = 0; k < iso.rows.size(); ++k) {
    iso.tails.push_back(korvelin::bench::rowTail(iso.rows[k], layout, k, spare));
    const std::string printed =
        korvelin::bench::temperatureCell(iso.rows[k].temperature);
    iso.printedTemperatures.push_back(std::strtof(printed.c_str(), nullptr));
  }
  return iso;
}

void writeIsotherm(ExportFile& file, const LaidOutIsotherm& iso,
                   double timeShift) {
  for (std::size_t k = 0; k < iso.rows.size(); ++k) {
    file.row(iso.rows[k].time + timeShift, iso.tails[k],
             iso.printedTemperatures[k]);
  }
}

struct ControlEntry {
  std::string temperature;  // as written in the control file
  const ExportFile* file;
};

void writeText(const std::filesystem::path& path, const std::string& text) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (file == nullptr) {
    fail("cannot create " + path.string());
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !ok) {
    fail("cannot write " + path.string());
  }
}

// KORVELIN.inp (CR LF, as the instrument's computer writes it) and the
// manifest of bytes read per temperature.
void writeControlAndManifest(const std::filesystem::path& folder,
                             const std::vector<ControlEntry>& entries) {
  std::string control;
  control += "0.0123\r\n";
  control += "5 1\r\n";
  control += std::string(kTargetFields) + "\r\n";
  std::string manifest =
      "# file and bytes read, one line per temperature of KORVELIN.inp\n";
  std::uint64_t total = 0;
  for (const ControlEntry& e : entries) {
    control += e.temperature + "\r\n" + e.file->name() + "\r\n";
    const float wanted = std::strtof(e.temperature.c_str(), nullptr);
    const std::uint64_t bytes = e.file->bytesRead(wanted);
    manifest += e.file->name() + " " + std::to_string(bytes) + "\n";
    total += bytes;
  }
  writeText(folder / "KORVELIN.inp", control);
  writeText(folder / "bench-manifest.txt", manifest);
  std::printf("%zu temperatures, %llu bytes read per run\n", entries.size(),
              static_cast<unsigned long long>(total));
}

// One file per temperature, 1 K apart around the Curie point.
void writePerTemperature(const std::filesystem::path& folder, Layout layout) {
  SplitMix64 rng(kSeed);
  SplitMix64 spare(kSpareSeed);
  double clock = 3786912000.0;
  const std::string header = korvelin::bench::headerSection(layout);
  std::vector<std::unique_ptr<ExportFile>> files;
  std::vector<ControlEntry> entries;
  std::uint64_t bytes = 0;
  for (int i = 0; i < 30; ++i) {
    const double nominal = 280.0 + i;
    LaidOutIsotherm iso =
        layOut(nominal, Protocol::kHalfCycle, layout, rng, spare, clock);
    files.push_back(
        std::make_unique<ExportFile>(folder, "gd_" + kelvinText(nominal) + "K.dat"));
    ExportFile& file = *files.back();
    file.text(header);
    writeIsotherm(file, iso, 0.0);
    file.close();
    bytes += file.size();
    entries.push_back({kelvinText(nominal), &file});
  }
  std::printf("%zu exports, %llu bytes\n", files.size(),
              static_cast<unsigned long long>(bytes));
  writeControlAndManifest(folder, entries);
}

// A study of 100 isotherms at 245..344 K, 1 K apart, in one export; `huge`
// repeats it until the file passes 1 GB and closes with two isotherms on
// the half kelvin, the only temperatures its control file names.
void writeStudy(const std::filesystem::path& folder, bool huge) {
  SplitMix64 rng(kSeed);
  SplitMix64 spare(kSpareSeed);
  double clock = 3786912000.0;
  std::vector<LaidOutIsotherm> study;
  for (int i = 0; i < 100; ++i) {
    study.push_back(layOut(245.0 + i, Protocol::kFullLoop, Layout::kStandard,
                           rng, spare, clock));
  }
  const double passTime = clock - 3786912000.0 + 3600.0;
  ExportFile file(folder, huge ? "gd_long_study.dat" : "gd_study.dat");
  file.text(korvelin::bench::headerSection(Layout::kStandard));
  std::vector<ControlEntry> entries;
  int passes = 0;
  do {
    for (const LaidOutIsotherm& iso : study) {
      writeIsotherm(file, iso, passTime * passes);
    }
    ++passes;
  } while (huge && file.size() < kHugeBytes);
  if (huge) {
    double lateClock = clock + passTime * passes;
    for (double nominal : {343.5, 344.5}) {
      LaidOutIsotherm iso = layOut(nominal, Protocol::kFullLoop,
                                   Layout::kStandard, rng, spare, lateClock);
      writeIsotherm(file, iso, 0.0);
      entries.push_back({kelvinText(nominal), &file});
    }
  } else {
    for (const LaidOutIsotherm& iso : study) {
      entries.push_back({kelvinText(iso.nominal), &file});
    }
  }
  file.close();
  std::printf("1 export, %d pass(es) of the study, %llu bytes\n", passes,
              static_cast<unsigned long long>(file.size()));
  writeControlAndManifest(folder, entries);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: generate_exports small|large|long-lines|huge OUTDIR\n");
    return 2;
  }
  const std::string_view kase = argv[1];
  const std::filesystem::path folder = argv[2];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    fail("cannot create folder " + folder.string());
  }
  if (kase == "small") {
    writePerTemperature(folder, Layout::kStandard);
  } else if (kase == "long-lines") {
    writePerTemperature(folder, Layout::kLongLines);
  } else if (kase == "large") {
    writeStudy(folder, false);
  } else if (kase == "huge") {
    writeStudy(folder, true);
  } else {
    std::fprintf(stderr, "generate_exports: unknown case %s\n", argv[1]);
    return 2;
  }
  return 0;
}
