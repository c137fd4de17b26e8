#include "exports.h"

#include <cmath>
#include <cstdio>
#include <string_view>

// The sample is a gadolinium-like ferromagnet near its Curie point in the
// Weiss mean-field model with a Brillouin function, the model of the shipped
// example set:
//   m = B_J(x),  x = g J muB B_int / (kB T) + 3 J / (J + 1) (T_C / T) m,
//   B_int = B_applied - N mu0 Ms m,
// with the demagnetising term giving the linear initial rise of a
// multi-domain plate below T_C. Only +, -, *, / and exact scalings are used
// (exp included), and FMA contraction is off in this build, so the data are
// the same bits with any conforming compiler.

namespace korvelin::bench {
namespace {

constexpr double kBoltzmann = 1.380649e-23;         // J/K
constexpr double kBohrMagneton = 9.2740100783e-24;  // J/T

constexpr double kSpinJ = 3.5;
constexpr double kLandeG = 2.0;
constexpr double kCurieTemperature = 294.0;   // K
constexpr double kSaturationPerGram = 268.0;  // emu/g at 0 K
constexpr double kDensity = 7.90;             // g/cm3
constexpr double kDemagnetisingFactor = 0.1;  // plate with field in plane

constexpr double kPi = 3.14159265358979323846;
// 4 pi Ms in gauss equals mu0 Ms in units of 1e-4 T.
constexpr double kMu0Ms = 4.0 * kPi * kSaturationPerGram * kDensity * 1.0e-4;
constexpr double kDemagField = kDemagnetisingFactor * kMu0Ms;  // T at m = 1

// exp(x) from basic operations: x = k ln2 + r, e^r from its Taylor series.
double detExp(double x) {
  constexpr double kInvLn2 = 1.4426950408889634;
  constexpr double kLn2Hi = 6.93147180369123816490e-01;
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
    return 1.0 / y +
           y * (1.0 / 3.0 - y2 * (1.0 / 45.0 - y2 * (2.0 / 945.0 - y2 / 4725.0)));
  }
  const double e = detExp(-2.0 * y);
  return (1.0 + e) / (1.0 - e);
}

double brillouin(double x) {
  if (x <= 0.0) {
    return 0.0;
  }
  const double a = (2.0 * kSpinJ + 1.0) / (2.0 * kSpinJ);
  const double b = 1.0 / (2.0 * kSpinJ);
  if (x < 1.0e-3) {
    // The two coth terms cancel near zero.
    return (kSpinJ + 1.0) / (3.0 * kSpinJ) * x;
  }
  return a * coth(a * x) - b * coth(b * x);
}

double residual(double m, double b, double t) {
  const double zeeman = kLandeG * kSpinJ * kBohrMagneton / (kBoltzmann * t);
  const double exchange = 3.0 * kSpinJ / (kSpinJ + 1.0) * kCurieTemperature / t;
  return brillouin(zeeman * (b - kDemagField * m) + exchange * m) - m;
}

// A fixed number of halvings keeps the root free of any tolerance test.
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
  const double exchange = 3.0 * kSpinJ / (kSpinJ + 1.0) * kCurieTemperature / t;
  return bisect([&](double m) { return brillouin(exchange * m) - m; }, 1.0e-9,
                1.0);
}

double reducedMagnetisation(double b, double t) {
  const double magnitude = std::fabs(b);
  if (magnitude == 0.0) {
    return 0.0;
  }
  const double spontaneous = spontaneousMagnetisation(t);
  const double domainLimit = magnitude / kDemagField;
  double m = domainLimit;
  if (domainLimit > spontaneous) {
    const double hi = domainLimit < 1.0 ? domainLimit : 1.0;
    m = bisect([&](double x) { return residual(x, magnitude, t); }, spontaneous,
               hi);
  }
  return b < 0.0 ? -m : m;
}

constexpr double kTemperatureJitter = 0.05;  // K
constexpr double kFieldJitter = 0.8;         // Oe
constexpr double kRelativeNoise = 1.0e-4;
constexpr double kNoiseFloor = 2.0e-6;  // emu

// ------------------------------------------------------------- layout

// The instrument's own columns, in its order; the reader uses the first
// five (comment, time, field, temperature, moment).
constexpr const char* kBaseTitles[] = {
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

// System channels logged with every point.
constexpr const char* kSystemTitles[] = {
    "Sample Temp. (K)",
    "System Temp. (K)",
    "Sample Position (mm)",
    "Magnet Current (amps)",
    "Magnet Voltage (volts)",
    "Magnet Mode (code)",
    "Persistent Switch (code)",
    "Bridge Resistance (ohms)",
    "Bridge Excitation (microamps)",
    "Heater Power (watts)",
    "Helium Level (percent)",
    "Chamber Flow (sccm)",
    "Lockin Phase (deg)",
    "Lockin Amplitude (volts)",
    "Magnet Temp. (K)",
    "Shield Temp. (K)",
    "Coldhead Temp. (K)",
    "Sample Space Pressure (torr)",
    "Cryocooler Power (watts)",
};

// Fit diagnostics, written with every other point only.
constexpr const char* kFitTitles[] = {
    "Fit Quality",
    "Fit Offset (mm)",
    "Fit Drift (mV)",
    "Fit Slope (mV per mm)",
    "Squid Range (code)",
    "Squid Gain (code)",
    "Autorange Steps",
    "Regression Residual (mV)",
    "Center Shift (mm)",
    "Raw Peak (mV)",
    "Raw Valley (mV)",
    "Raw Mean (mV)",
};
constexpr std::size_t kFitEvery = 2;

// Options this measurement did not use: their cells stay empty.
constexpr const char* kOptionNames[] = {"Auxiliary Input", "User Map",
                                        "Rotator", "Pressure Cell",
                                        "Option Slot"};
constexpr const char* kGreek[] = {"Alpha", "Beta",    "Gamma", "Delta",
                                  "Epsilon", "Zeta", "Eta", "Theta"};
constexpr std::size_t kOptionGroups = 5;
constexpr std::size_t kOptionColumns = 5 * kOptionGroups + 1;  // and rotation

// Raw pick-up coil channels of the long layout.
constexpr const char* kCoilSides[] = {"Left",  "Right", "Upper", "Lower",
                                      "Inner", "Outer", "Front", "Back",
                                      "North", "South", "East",  "West"};
constexpr std::size_t kRawChannels = 12 * 8;

constexpr const char* kHeaderLines[] = {
    "[Header]",
    "TITLE,Magnetocaloric study of a gadolinium like plate",
    "BYAPP,Magnetometer export",
    "FILEOPENTIME,See the instrument log",
    "INFO,Sample material,Gadolinium",
    "INFO,Sample shape,Thin plate with the field in its plane",
    "INFO,Sample holder,Quartz paddle",
    "INFO,Sample mass is kept in the control file in grams",
    "INFO,Sample volume,Not given",
    "INFO,Molecular weight,Not given",
    "INFO,Measurement,Isothermal field cycles",
    "INFO,Field unit,Oersted",
    "INFO,Moment unit,Electromagnetic units",
    "INFO,Temperature unit,Kelvin",
    "INFO,Operator,Laboratory staff",
    "INFO,Sequence,Isotherms at rising temperature",
    "INFO,Field approach,Linear with overshoot off",
    "INFO,Temperature approach,Sweep then settle",
    "INFO,Centering,Automatic at each temperature",
    "INFO,Transport,Vibrating sample",
    "INFO,Averaging,As set per point",
    "INFO,Autorange,On",
    "INFO,Coil set,Standard",
    "INFO,Chamber,Purged with helium",
    "INFO,Magnet,Superconducting with persistent switch",
    "INFO,Calibration,Factory",
    "INFO,Comment,Columns left empty were not measured",
    "DATATYPE,COMMENT,Text",
    "DATATYPE,TIME,Seconds",
    "FIELDGROUP,Magnetometer,Field Temperature Moment",
    "FIELDGROUP,System,Chamber Magnet Bridge",
    "STARTUPAXIS,X,Field",
    "STARTUPAXIS,Y,Moment",
    "[Data]",
};

void appendFormatted(std::string& line, const char* format, double value) {
  char buffer[48];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  line.append(buffer, static_cast<std::size_t>(n));
}

void cell(std::string& line, const char* format, double value) {
  line.push_back(',');
  appendFormatted(line, format, value);
}

void cell(std::string& line, std::string_view text) {
  line.push_back(',');
  line.append(text);
}

void emptyCells(std::string& line, std::size_t count) {
  line.append(count, ',');
}

}  // namespace

double sampleMoment(double fieldOe, double temperature) {
  return kSampleMass * kSaturationPerGram *
         reducedMagnetisation(fieldOe * 1.0e-4, temperature);
}

std::vector<double> fieldSetPoints(Protocol protocol) {
  std::vector<double> points;
  // Virgin rise: fine steps at low field, where the curve bends.
  for (int h = 0; h <= 5000; h += 250) {
    points.push_back(h);
  }
  for (int h = 5500; h <= 50000; h += 500) {
    points.push_back(h);
  }
  if (protocol == Protocol::kHalfCycle) {
    for (int h = 49000; h >= 0; h -= 1000) {
      points.push_back(h);
    }
    return points;
  }
  for (int h = 49500; h >= -50000; h -= 500) {
    points.push_back(h);
  }
  for (int h = -49000; h <= 50000; h += 1000) {
    points.push_back(h);
  }
  for (int h = 49000; h >= 0; h -= 1000) {
    points.push_back(h);
  }
  return points;
}

std::vector<Measurement> measureIsotherm(double nominal, Protocol protocol,
                                         SplitMix64& rng, double& clock) {
  const std::vector<double> setPoints = fieldSetPoints(protocol);
  std::vector<Measurement> rows;
  rows.reserve(setPoints.size());
  clock += 900.0 + 120.0 * rng.uniform();  // settling at the new temperature
  for (std::size_t k = 0; k < setPoints.size(); ++k) {
    Measurement row{};
    row.rising = k == 0 || setPoints[k] > setPoints[k - 1];
    if (setPoints[k] == 0.0) {
      // Trapped flux: a few oersted, against the direction the field came
      // from (positive at the start and when coming up from below).
      const double trapped = 2.0 + 4.0 * rng.uniform();
      row.field = row.rising ? trapped : -trapped;
    } else {
      row.field = setPoints[k] + kFieldJitter * rng.symmetric();
    }
    row.temperature = nominal + kTemperatureJitter * rng.symmetric();
    const double clean = sampleMoment(row.field, row.temperature);
    row.stdErr = std::fabs(clean) * kRelativeNoise + kNoiseFloor;
    row.moment = clean + row.stdErr * rng.normal();
    row.stdErr *= 0.8 + 0.4 * rng.uniform();
    clock += 8.0 + 4.0 * rng.uniform();
    row.time = clock;
    rows.push_back(row);
  }
  return rows;
}

std::size_t columnCount(Layout layout) {
  const std::size_t standard = std::size(kBaseTitles) + std::size(kSystemTitles) +
                               std::size(kFitTitles) + kOptionColumns;
  return layout == Layout::kStandard ? standard : standard + kRawChannels;
}

std::string headerSection(Layout layout) {
  std::string text;
  for (const char* line : kHeaderLines) {
    text.append(line).append("\r\n");
  }
  std::string titles;
  auto title = [&titles](std::string_view name) {
    if (!titles.empty()) {
      titles.push_back(',');
    }
    titles.append(name);
  };
  for (const char* name : kBaseTitles) {
    title(name);
  }
  for (const char* name : kSystemTitles) {
    title(name);
  }
  for (const char* name : kFitTitles) {
    title(name);
  }
  for (const char* option : kOptionNames) {
    for (std::size_t g = 0; g < kOptionGroups; ++g) {
      title(std::string(option) + " " + kGreek[g]);
    }
  }
  title("Sample Rotation (deg)");
  if (layout == Layout::kLongLines) {
    for (const char* side : kCoilSides) {
      for (const char* greek : kGreek) {
        title(std::string("Raw Coil ") + side + " " + greek + " (mV)");
      }
    }
  }
  text.append(titles).append("\r\n");
  return text;
}

std::string timeCell(double time) {
  std::string text;
  appendFormatted(text, "%.3f", time);
  return text;
}

std::string temperatureCell(double temperature) {
  std::string text;
  appendFormatted(text, "%.4f", temperature);
  return text;
}

std::string rowTail(const Measurement& m, Layout layout, std::size_t rowIndex,
                    SplitMix64& spare) {
  std::string line;
  line.reserve(layout == Layout::kStandard ? 560 : 2200);
  const double coilSignal = m.moment * 4.7;  // mV per emu, a coil constant
  cell(line, "%.4f", m.field);
  cell(line, temperatureCell(m.temperature));
  cell(line, "%.6E", m.moment);
  cell(line, "%.6E", m.stdErr);
  cell(line, "1");
  cell(line, "1.000");
  cell(line, "40.000");
  cell(line, "2.000");
  cell(line, "%.3f", 35.10 + 0.02 * spare.symmetric());
  cell(line, "%.6E", coilSignal);
  cell(line, "%.6E", std::fabs(coilSignal) * 1.5e-4 + 1.0e-5);
  cell(line, std::fabs(coilSignal) > 10.0 ? "100" : "10");
  cell(line, "%.4f", m.temperature - 0.02 * spare.uniform());
  cell(line, "%.4f", m.temperature + 0.02 * spare.uniform());
  cell(line, "%.4f", m.field - 0.3 * spare.uniform());
  cell(line, "%.4f", m.field + 0.3 * spare.uniform());
  emptyCells(line, 3);  // mass (kept in the header), motor lag and current
  cell(line, "%.2f", 31.5 + 0.3 * spare.symmetric());
  cell(line, "%.3f", m.temperature + 0.4 + 0.1 * spare.symmetric());
  cell(line, "%.2f", 5.0 + 0.3 * spare.symmetric());
  cell(line, "1");
  cell(line, m.rising ? "4" : "5");
  cell(line, "1");
  cell(line, "%.6E", m.moment / kSampleMass);

  // System channels.
  cell(line, "%.4f", m.temperature + 0.01 * spare.symmetric());
  cell(line, "%.4f", m.temperature + 0.35 + 0.05 * spare.symmetric());
  cell(line, "%.3f", 35.10 + 0.05 * spare.symmetric());
  cell(line, "%.5f", m.field * 1.0e-3 * 1.18 + 1.0e-5 * spare.symmetric());
  cell(line, "%.6f", 2.0e-4 * spare.symmetric());
  cell(line, "2");
  cell(line, "1");
  cell(line, "%.4f", 1850.0 + 400.0 * spare.uniform());
  cell(line, "%.3f", 30.0);
  cell(line, "%.6E", 1.0e-3 * (1.0 + spare.uniform()));
  cell(line, "%.1f", 72.0 + 2.0 * spare.symmetric());
  cell(line, "%.3f", 4.0 + 0.5 * spare.symmetric());
  cell(line, "%.4f", 90.0 * spare.symmetric());
  cell(line, "%.6E", 1.0e-4 * (1.0 + spare.uniform()));
  cell(line, "%.3f", 4.2 + 0.05 * spare.symmetric());
  cell(line, "%.3f", 41.0 + 0.5 * spare.symmetric());
  cell(line, "%.4f", 3.1 + 0.02 * spare.symmetric());
  cell(line, "%.6E", 5.0 * (1.0 + 0.02 * spare.symmetric()));
  cell(line, "%.2f", 6500.0 + 50.0 * spare.symmetric());

  if (rowIndex % kFitEvery == 0) {
    cell(line, "%.6f", 0.999 + 0.001 * spare.uniform());
    cell(line, "%.4f", 0.05 * spare.symmetric());
    cell(line, "%.6E", 1.0e-3 * spare.symmetric());
    cell(line, "%.6E", coilSignal * 0.02 * (1.0 + 0.01 * spare.symmetric()));
    cell(line, std::fabs(coilSignal) > 10.0 ? "3" : "2");
    cell(line, "1");
    cell(line, "0");
    cell(line, "%.6E", 1.0e-5 * spare.uniform());
    cell(line, "%.4f", 0.01 * spare.symmetric());
    cell(line, "%.6E", coilSignal * 1.02);
    cell(line, "%.6E", -coilSignal * 0.98);
    cell(line, "%.6E", coilSignal * 0.02 * spare.symmetric());
  } else {
    emptyCells(line, std::size(kFitTitles));
  }
  emptyCells(line, kOptionColumns);

  if (layout == Layout::kLongLines) {
    for (std::size_t c = 0; c < kRawChannels; ++c) {
      cell(line, "%.9E", coilSignal * (1.0 + 0.01 * spare.symmetric()));
    }
  }
  line.append("\r\n");
  return line;
}

}  // namespace korvelin::bench
