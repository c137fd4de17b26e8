// make_example: writes the example data set shipped in examples/gd.
//
// Usage:
//   make_example <output-folder>   writes KORVELIN.inp and one magnetometer
//                                  export per temperature into the folder
//                                  (created when missing; files replaced)
//   make_example --check           prints -dS_M(T, B) of the model and of the
//                                  generated data, and the peak per field
//
// Regenerate the shipped set from the repository root with
//   cmake --build <build-dir> --target make_example
//   <build-dir>/examples/make_example examples/gd
//
// The sample is a gadolinium-like ferromagnet near its Curie point, described
// by the Weiss mean-field model with a Brillouin function:
//   m = B_J(x),  x = g J muB B_int / (kB T) + 3 J / (J + 1) (T_C / T) m,
//   B_int = B_applied - N mu0 Ms m,
// where m = M / Ms is the reduced magnetisation.  The demagnetising term
// gives the linear initial rise of a multi-domain sample below T_C: while the
// applied field is smaller than N mu0 Ms m_spont, the domains arrange for
// B_int = 0 and m = B_applied / (N mu0 Ms).  Above that field m is found by
// bisection between the spontaneous value and the domain limit.
//
// Parameters: J = 7/2, g = 2, T_C = 294 K, Ms = 268 emu/g at 0 K, density
// 7.90 g/cm3 (mu0 Ms = 2.66 T), demagnetising factor N = 0.1 (a thin plate
// with the field in its plane), sample mass 0.0123 g.  Isotherms from 270 K
// to 320 K every 2.5 K (21 files).  Each file is one full field cycle: from
// the magnet's remanent field near 0 Oe up to 50 kOe in 500 Oe steps to
// 5 kOe and 1 kOe steps above, then down again in 2.5 kOe steps to near zero:
// 56 rising and 20 falling rows, 76 data rows per file.  Target fields
// 1, 2, 3, 4 and 5 T, rising sweeps.
//
// Measurement imperfections come from a fixed-seed PRNG: temperature within
// +-0.05 K of the set point (the moment is computed at the actual
// temperature), field readings within +-0.8 Oe of the set point, a remanent
// field of a few oersted at the ends of the cycle, and a relative moment
// noise of about 1e-4 plus a small absolute floor.
//
// The output is byte-for-byte reproducible: the PRNG is our own splitmix64,
// the only transcendental function (exp) is computed here from +, -, *, /
// and exact scalings by powers of two, and every number is printed with a
// fixed snprintf format.  The build turns off FMA contraction, so the same
// operations give the same bits with any conforming compiler.
//
// Header and title lines hold words only: the reader takes any number it
// meets as data and stops a read at a slash, so no digit, slash, asterisk or
// quotation mark may appear in them, and parentheses must open a word and be
// closed on the same line.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- model

constexpr double kBoltzmann = 1.380649e-23;        // J/K
constexpr double kBohrMagneton = 9.2740100783e-24; // J/T

constexpr double kSpinJ = 3.5;
constexpr double kLandeG = 2.0;
constexpr double kCurieTemperature = 294.0;     // K
constexpr double kSaturationPerGram = 268.0;    // emu/g at 0 K
constexpr double kDensity = 7.90;               // g/cm3
constexpr double kDemagnetisingFactor = 0.1;    // SI, plate with field in plane
constexpr double kSampleMass = 0.0123;          // g

// 4 pi Ms in gauss equals mu0 Ms in units of 1e-4 T.
constexpr double kPi = 3.14159265358979323846;
constexpr double kMu0Ms = 4.0 * kPi * kSaturationPerGram * kDensity * 1.0e-4; // T
constexpr double kDemagField = kDemagnetisingFactor * kMu0Ms;                  // T at m = 1

// exp(x) from basic operations only, so that every library gives the same
// bits.  x = k ln2 + r with |r| <= ln2 / 2; e^r from its Taylor series.
double detExp(double x) {
  constexpr double kInvLn2 = 1.4426950408889634;
  constexpr double kLn2Hi = 6.93147180369123816490e-01; // exact in 32 bits
  constexpr double kLn2Lo = 1.90821492927058770002e-10;
  if (x < -700.0) {
    return 0.0;
  }
  const double k = std::floor(x * kInvLn2 + 0.5);
  const double r = (x - k * kLn2Hi) - k * kLn2Lo;
  double sum = 1.0;
  for (int n = 20; n >= 1; --n) {
    sum = 1.0 + sum * r / static_cast<double>(n);
  }
  return std::ldexp(sum, static_cast<int>(k));
}

// coth(y) for y > 0.
double coth(double y) {
  if (y < 0.05) {
    const double y2 = y * y;
    return 1.0 / y + y * (1.0 / 3.0 - y2 * (1.0 / 45.0 - y2 * (2.0 / 945.0 - y2 / 4725.0)));
  }
  const double e = detExp(-2.0 * y);
  return (1.0 + e) / (1.0 - e);
}

// Brillouin function B_J(x) for x >= 0.
double brillouin(double x) {
  if (x <= 0.0) {
    return 0.0;
  }
  const double a = (2.0 * kSpinJ + 1.0) / (2.0 * kSpinJ);
  const double b = 1.0 / (2.0 * kSpinJ);
  if (x < 1.0e-3) {
    // Avoids the cancellation of the two coth terms near zero.
    return (kSpinJ + 1.0) / (3.0 * kSpinJ) * x;
  }
  return a * coth(a * x) - b * coth(b * x);
}

// Mean-field equation residual B_J(x(m)) - m for applied field b (T, >= 0).
double residual(double m, double b, double t) {
  const double zeeman = kLandeG * kSpinJ * kBohrMagneton / (kBoltzmann * t);
  const double exchange = 3.0 * kSpinJ / (kSpinJ + 1.0) * kCurieTemperature / t;
  const double internal = b - kDemagField * m;
  return brillouin(zeeman * internal + exchange * m) - m;
}

// Root of a residual that is positive at lo and not positive at hi.  A fixed
// number of halvings keeps the result independent of any tolerance test.
template <typename F>
double bisect(F f, double lo, double hi) {
  for (int i = 0; i < 80; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (f(mid) > 0.0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return 0.5 * (lo + hi);
}

double spontaneousMagnetisation(double t) {
  if (t >= kCurieTemperature) {
    return 0.0;
  }
  // Without applied field and with B_int = 0 only exchange acts.
  const double exchange = 3.0 * kSpinJ / (kSpinJ + 1.0) * kCurieTemperature / t;
  return bisect([&](double m) { return brillouin(exchange * m) - m; }, 1.0e-9, 1.0);
}

// Reduced magnetisation at applied field b (T, either sign) and temperature t.
double reducedMagnetisation(double b, double t) {
  const double magnitude = std::fabs(b);
  if (magnitude == 0.0) {
    return 0.0;
  }
  const double spontaneous = spontaneousMagnetisation(t);
  const double domainLimit = magnitude / kDemagField;
  double m = 0.0;
  if (domainLimit <= spontaneous) {
    m = domainLimit;
  } else {
    const double hi = domainLimit < 1.0 ? domainLimit : 1.0;
    m = bisect([&](double x) { return residual(x, magnitude, t); }, spontaneous, hi);
  }
  return b < 0.0 ? -m : m;
}

// Sample moment in emu at an applied field in oersted.
double sampleMoment(double fieldOe, double t) {
  return kSampleMass * kSaturationPerGram * reducedMagnetisation(fieldOe * 1.0e-4, t);
}

// ---------------------------------------------------------------- PRNG

class SplitMix64 {
public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1), 53 random bits.
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  // Uniform in [-1, 1).
  double symmetric() { return 2.0 * uniform() - 1.0; }

  // Approximately standard normal: the sum of four uniforms has mean 2 and
  // variance 1/3.
  double normal() {
    const double s = uniform() + uniform() + uniform() + uniform();
    return (s - 2.0) * 1.7320508075688772;
  }

private:
  std::uint64_t state_;
};

// ---------------------------------------------------------------- data set

constexpr std::uint64_t kSeed = 0x6B6F7276656C696EULL;
constexpr double kFirstTemperature = 270.0;
constexpr double kTemperatureStep = 2.5;
constexpr int kTemperatureCount = 21;
constexpr double kTargetFields[] = {1.0, 2.0, 3.0, 4.0, 5.0};
constexpr double kTemperatureJitter = 0.05; // K
constexpr double kFieldJitter = 0.8;        // Oe
constexpr double kRelativeNoise = 1.0e-4;
constexpr double kNoiseFloor = 2.0e-6; // emu

double nominalTemperature(int index) {
  return kFirstTemperature + kTemperatureStep * static_cast<double>(index);
}

// Field set points of one cycle in oersted, in measuring order.
std::vector<double> fieldSetPoints() {
  std::vector<double> points;
  points.push_back(0.0);
  for (int h = 500; h <= 5000; h += 500) {
    points.push_back(h);
  }
  for (int h = 6000; h <= 50000; h += 1000) {
    points.push_back(h);
  }
  for (int h = 47500; h >= 0; h -= 2500) {
    points.push_back(h);
  }
  return points;
}

struct Row {
  double time;        // s
  double field;       // Oe, as read back
  double temperature; // K, as read back
  double moment;      // emu, with noise
  double stdErr;      // emu
  bool rising;        // the field went up to reach this row
};

struct Isotherm {
  double nominal;
  std::string fileName;
  std::vector<Row> rows;
};

std::string formatFixed(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::vector<Isotherm> makeIsotherms() {
  SplitMix64 rng(kSeed);
  const std::vector<double> setPoints = fieldSetPoints();
  std::vector<Isotherm> isotherms;
  double clock = 3786912000.0; // s; the instrument counts from its own epoch
  for (int i = 0; i < kTemperatureCount; ++i) {
    Isotherm iso;
    iso.nominal = nominalTemperature(i);
    iso.fileName = "gd_" + formatFixed("%.1f", iso.nominal) + "K.dat";
    clock += 900.0 + 120.0 * rng.uniform(); // settling at the new temperature
    for (std::size_t k = 0; k < setPoints.size(); ++k) {
      const bool rising = k == 0 || setPoints[k] > setPoints[k - 1];
      Row row{};
      if (setPoints[k] == 0.0) {
        // Trapped flux: a few oersted at the start, slightly negative after
        // coming down from high field.
        row.field = k == 0 ? 2.0 + 4.0 * rng.uniform() : -(3.0 + 4.0 * rng.uniform());
      } else {
        row.field = setPoints[k] + kFieldJitter * rng.symmetric();
      }
      row.temperature = iso.nominal + kTemperatureJitter * rng.symmetric();
      const double clean = sampleMoment(row.field, row.temperature);
      row.stdErr = std::fabs(clean) * kRelativeNoise + kNoiseFloor;
      row.moment = clean + row.stdErr * rng.normal();
      row.stdErr *= 0.8 + 0.4 * rng.uniform();
      clock += 8.0 + 4.0 * rng.uniform();
      row.time = clock;
      row.rising = rising;
      iso.rows.push_back(row);
    }
    isotherms.push_back(iso);
  }
  return isotherms;
}

// ---------------------------------------------------------------- writing

const char* const kHeader[] = {
    "[Header]",
    "TITLE,Gadolinium like sample",
    "BYAPP,Magnetometer export",
    "INFO,Sample material,Gadolinium",
    "INFO,Sample shape,Thin plate with the field in its plane",
    "INFO,Sample mass is kept in the control file in grams",
    "INFO,Measurement,Isothermal field cycle up and down",
    "INFO,Field unit,Oersted",
    "INFO,Moment unit,Electromagnetic units",
    "[Data]",
};

const char* const kTitles[] = {
    "Comment",
    "Time Stamp (sec)",
    "Magnetic Field (Oe)",
    "Temperature (K)",
    "Moment (emu)",
    "M. Std. Err. (emu)",
    "Transport Action",
    "Averaging Time (sec)",
    "Frequency (Hz)",
    "Peak Amplitude (mm)",
    "Center Position (mm)",
    "Coil Signal (mV)",
    "Coil Signal Std. Err. (mV)",
    "Range (mV)",
    "Min. Temperature (K)",
    "Max. Temperature (K)",
    "Min. Field (Oe)",
    "Max. Field (Oe)",
    "Mass (grams)",
    "Motor Lag (deg)",
    "Motor Current (amps)",
    "Motor Temp. (C)",
    "Chamber Temp. (K)",
    "Chamber Pressure (torr)",
    "Temp. Status (code)",
    "Field Status (code)",
    "Chamber Status (code)",
    "Moment per Mass (emu per gram)",
};
constexpr std::size_t kColumnCount = sizeof kTitles / sizeof kTitles[0];

// Builds one comma-separated line cell by cell.
class CsvLine {
public:
  void cell(const char* text) {
    if (count_ != 0) {
      text_.push_back(',');
    }
    text_.append(text);
    ++count_;
  }
  void cell(const std::string& text) { cell(text.c_str()); }
  void empty() { cell(""); }
  std::size_t count() const { return count_; }
  const std::string& text() const { return text_; }

private:
  std::string text_;
  std::size_t count_ = 0;
};

// One data row; empty cells stay empty, as the export leaves them.
std::string formatRow(const Row& row, SplitMix64& rng) {
  const double coilSignal = row.moment * 4.7; // mV per emu, a coil constant
  CsvLine line;
  line.empty(); // comment
  line.cell(formatFixed("%.3f", row.time));
  line.cell(formatFixed("%.4f", row.field));
  line.cell(formatFixed("%.4f", row.temperature));
  line.cell(formatFixed("%.6E", row.moment));
  line.cell(formatFixed("%.6E", row.stdErr));
  line.cell("1");
  line.cell("1.000");
  line.cell("40.000");
  line.cell("2.000");
  line.cell(formatFixed("%.3f", 35.10 + 0.02 * rng.symmetric()));
  line.cell(formatFixed("%.6E", coilSignal));
  line.cell(formatFixed("%.6E", std::fabs(coilSignal) * 1.5e-4 + 1.0e-5));
  line.cell(std::fabs(coilSignal) > 10.0 ? "100" : "10");
  line.cell(formatFixed("%.4f", row.temperature - 0.02 * rng.uniform()));
  line.cell(formatFixed("%.4f", row.temperature + 0.02 * rng.uniform()));
  line.cell(formatFixed("%.4f", row.field - 0.3 * rng.uniform()));
  line.cell(formatFixed("%.4f", row.field + 0.3 * rng.uniform()));
  line.empty(); // mass: this export leaves it to the header
  line.empty(); // motor lag
  line.empty(); // motor current
  line.cell(formatFixed("%.2f", 31.5 + 0.3 * rng.symmetric()));
  line.cell(formatFixed("%.3f", row.temperature + 0.4 + 0.1 * rng.symmetric()));
  line.cell(formatFixed("%.2f", 5.0 + 0.3 * rng.symmetric()));
  line.cell("1");
  line.cell(row.rising ? "4" : "5");
  line.cell("1");
  line.cell(formatFixed("%.6E", row.moment / kSampleMass));
  if (line.count() != kColumnCount) {
    std::fprintf(stderr, "make_example: row has %zu cells for %zu titles\n", line.count(), kColumnCount);
    std::exit(3);
  }
  return line.text();
}

bool writeText(const std::filesystem::path& path, const std::string& text) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "make_example: cannot create %s\n", path.string().c_str());
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

int writeDataSet(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "make_example: cannot create folder %s\n", folder.string().c_str());
    return 1;
  }
  const std::vector<Isotherm> isotherms = makeIsotherms();
  // The spare columns use their own stream so that the measured values do
  // not change when a spare column is added or removed.
  SplitMix64 spare(kSeed ^ 0x5A5A5A5A5A5A5A5AULL);

  // Files are written as the instrument's computer writes them: CR LF.
  std::string control;
  control += formatFixed("%.4f", kSampleMass) + "\r\n";
  control += std::to_string(sizeof kTargetFields / sizeof kTargetFields[0]) + " 1\r\n";
  for (std::size_t j = 0; j < sizeof kTargetFields / sizeof kTargetFields[0]; ++j) {
    if (j != 0) {
      control.push_back(' ');
    }
    control.append(formatFixed("%.1f", kTargetFields[j]));
  }
  control.append("\r\n");
  for (const Isotherm& iso : isotherms) {
    control += formatFixed("%.1f", iso.nominal) + "\r\n" + iso.fileName + "\r\n";
    std::string text;
    for (const char* line : kHeader) {
      text += std::string(line) + "\r\n";
    }
    CsvLine titles;
    for (const char* title : kTitles) {
      titles.cell(title);
    }
    text.append(titles.text()).append("\r\n");
    for (const Row& row : iso.rows) {
      text += formatRow(row, spare) + "\r\n";
    }
    if (!writeText(folder / iso.fileName, text)) {
      return 1;
    }
  }
  if (!writeText(folder / "KORVELIN.inp", control)) {
    return 1;
  }
  std::printf("wrote KORVELIN.inp and %zu isotherm files to %s\n", isotherms.size(),
              folder.string().c_str());
  return 0;
}

// ---------------------------------------------------------------- check

struct Point {
  double field; // T
  double moment;
};

// The trapezoid area from the first point up to b, with the same 0.01 T
// slack and the same interpolated last piece as the analysis uses.
double branchArea(const std::vector<Point>& branch, double b) {
  double sum = 0.0;
  for (std::size_t l = 0; l + 1 < branch.size(); ++l) {
    const Point& p = branch[l];
    const Point& q = branch[l + 1];
    if (b + 0.01 >= q.field) {
      sum += (q.moment + p.moment) * (q.field - p.field) * 0.5;
    } else {
      const double mb = ((q.field - b) * p.moment + (b - p.field) * q.moment) / (q.field - p.field);
      sum += (b - p.field) * (p.moment + mb) * 0.5;
      break;
    }
  }
  return sum;
}

// The rising branch as the analysis keeps it: fields below 100 Oe count as
// zero, the first point with zero moment, then every point reached by a
// rising step.
std::vector<Point> risingBranch(const std::vector<Row>& rows) {
  std::vector<Point> accepted;
  for (const Row& row : rows) {
    const bool low = std::fabs(row.field) < 100.0;
    accepted.push_back({low ? 0.0 : row.field * 1.0e-4, low ? 0.0 : row.moment});
  }
  std::vector<Point> branch;
  for (std::size_t k = 1; k < accepted.size(); ++k) {
    if (accepted[k].field - accepted[k - 1].field > 0.0) {
      if (branch.empty()) {
        branch.push_back({accepted[0].field, 0.0});
      }
      branch.push_back(accepted[k]);
    }
  }
  return branch;
}

// The model's own rising branch at the nominal temperature and set points.
std::vector<Point> modelBranch(double t) {
  std::vector<Point> branch;
  const std::vector<double> setPoints = fieldSetPoints();
  for (std::size_t k = 0; k < setPoints.size(); ++k) {
    if (k > 0 && setPoints[k] <= setPoints[k - 1]) {
      break;
    }
    branch.push_back({setPoints[k] * 1.0e-4, k == 0 ? 0.0 : sampleMoment(setPoints[k], t)});
  }
  return branch;
}

double entropyChange(const std::vector<Point>& lower, double tLower, const std::vector<Point>& upper,
                     double tUpper, double b) {
  const double s1 = branchArea(lower, b);
  const double s2 = branchArea(upper, b);
  return -((s2 - s1) / (tUpper - tLower)) / kSampleMass;
}

int check() {
  constexpr std::size_t fieldCount = sizeof kTargetFields / sizeof kTargetFields[0];
  const std::vector<Isotherm> isotherms = makeIsotherms();

  std::printf("Mean-field gadolinium-like sample, mass %.4f g\n", kSampleMass);
  std::printf("Magnetisation per gram at 2 T:");
  for (double t : {270.0, 290.0, 294.0, 300.0, 320.0}) {
    std::printf("  %.0f K %.1f", t, kSaturationPerGram * reducedMagnetisation(2.0, t));
  }
  std::printf(" emu/g\n\n");

  std::printf("-dS_M in J/(kg K): model (nominal temperatures, no noise) | generated data\n");
  std::printf("  T mid ");
  for (double b : kTargetFields) {
    std::printf("  %4.1f T ", b);
  }
  std::printf("|");
  for (double b : kTargetFields) {
    std::printf("  %4.1f T ", b);
  }
  std::printf("\n");

  double peak[fieldCount] = {};
  double peakAt[fieldCount] = {};
  for (std::size_t i = 0; i + 1 < isotherms.size(); ++i) {
    const double t1 = isotherms[i].nominal;
    const double t2 = isotherms[i + 1].nominal;
    const std::vector<Point> model1 = modelBranch(t1);
    const std::vector<Point> model2 = modelBranch(t2);
    const std::vector<Point> data1 = risingBranch(isotherms[i].rows);
    const std::vector<Point> data2 = risingBranch(isotherms[i + 1].rows);
    std::printf("%7.2f ", 0.5 * (t1 + t2));
    for (std::size_t j = 0; j < fieldCount; ++j) {
      const double value = entropyChange(model1, t1, model2, t2, kTargetFields[j]);
      if (value > peak[j]) {
        peak[j] = value;
        peakAt[j] = 0.5 * (t1 + t2);
      }
      std::printf(" %8.4f", value);
    }
    std::printf(" |");
    for (std::size_t j = 0; j < fieldCount; ++j) {
      std::printf(" %8.4f", entropyChange(data1, t1, data2, t2, kTargetFields[j]));
    }
    std::printf("\n");
  }
  std::printf("\nModel peak of -dS_M:\n");
  for (std::size_t j = 0; j < fieldCount; ++j) {
    std::printf("  %.1f T: %.3f J/(kg K) at %.2f K\n", kTargetFields[j], peak[j], peakAt[j]);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--check") == 0) {
    return check();
  }
  if (argc == 2 && argv[1][0] != '-') {
    return writeDataSet(argv[1]);
  }
  std::fprintf(stderr, "usage: make_example <output-folder> | make_example --check\n");
  return 2;
}
