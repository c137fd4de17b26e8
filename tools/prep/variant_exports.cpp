#include "variant_exports.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "mean_field_model.h"

namespace prep::variants {
namespace {

constexpr std::array<Variant, 6> kVariants = {
    Variant::kClean, Variant::kTemperatureFirst, Variant::kEmptyMoment,
    Variant::kDrift, Variant::kSwept,            Variant::kHeaderNumbers,
};

constexpr std::array<double, 6> kNominal = {287.5, 290.0, 292.5,
                                            295.0, 297.5, 300.0};

// Room-temperature controllers settle a little beside the set point; the
// signs alternate so that the real temperature steps differ from 2.5 K by up
// to half a kelvin, which is what makes a nominal control file wrong.
constexpr std::array<double, 6> kDriftOffsets = {0.26,  -0.22, 0.28,
                                                 -0.27, 0.24,  -0.23};

constexpr double kTemperatureJitter = 0.05;  // K
constexpr double kSlowDrift = 0.05;          // K, end to end of a cycle
constexpr double kFieldJitter = 0.8;         // Oe
constexpr double kRelativeNoise = 1.0e-4;
constexpr double kNoiseFloor = 2.0e-6;  // emu

struct Row {
  double time;
  double field;
  double temperature;
  double moment;
  double stdErr;
};

std::string fixed(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Stepped cycles as the example set has them; swept cycles read back every
// 125 Oe on the way up and on the way down.
std::vector<double> setPoints(bool swept) {
  std::vector<double> points;
  if (swept) {
    for (int h = 0; h <= 50000; h += 125) {
      points.push_back(h);
    }
    for (int h = 49875; h >= 0; h -= 125) {
      points.push_back(h);
    }
    return points;
  }
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

std::vector<Row> makeRows(Variant variant, std::size_t isotherm,
                          model::SplitMix64& rng, double& clock) {
  const bool swept = variant == Variant::kSwept;
  const std::vector<double> points = setPoints(swept);
  const double offset =
      variant == Variant::kDrift ? kDriftOffsets[isotherm] : 0.0;
  std::vector<Row> rows;
  clock += 900.0 + 120.0 * rng.uniform();
  for (std::size_t k = 0; k < points.size(); ++k) {
    Row row{};
    if (points[k] == 0.0) {
      // Trapped flux: a few oersted at the start, slightly negative after
      // coming down from high field.
      row.field = k == 0 ? 2.0 + 4.0 * rng.uniform()
                         : -(3.0 + 4.0 * rng.uniform());
    } else {
      row.field = points[k] + kFieldJitter * rng.symmetric();
    }
    const double along = static_cast<double>(k) /
                         static_cast<double>(points.size() - 1);
    const double slow =
        variant == Variant::kDrift ? kSlowDrift * (2.0 * along - 1.0) : 0.0;
    row.temperature = kNominal[isotherm] + offset + slow +
                      kTemperatureJitter * rng.symmetric();
    const double clean = model::sampleMoment(row.field, row.temperature);
    row.stdErr = std::fabs(clean) * kRelativeNoise + kNoiseFloor;
    row.moment = clean + row.stdErr * rng.normal();
    clock += swept ? 1.0 + rng.uniform() : 8.0 + 4.0 * rng.uniform();
    row.time = clock;
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> titles(Variant variant) {
  switch (variant) {
  case Variant::kTemperatureFirst:
    return {"Comment",      "Time Stamp (sec)",   "Temperature (K)",
            "Magnetic Field (Oe)", "Moment (emu)", "M. Std. Err. (emu)",
            "Mass (grams)"};
  case Variant::kEmptyMoment:
    return {"Comment",
            "Time Stamp (sec)",
            "Magnetic Field (Oe)",
            "Temperature (K)",
            "Moment (emu)",
            "M. Std. Err. (emu)",
            "DC Moment Free Ctr (emu)",
            "DC Moment Err Free Ctr (emu)",
            "Mass (grams)"};
  case Variant::kHeaderNumbers:
    return {"Comment",         "Time Stamp (sec)", "Magnetic Field (Oe)",
            "Temperature (K)", "Moment (emu)",     "M. Std. Err. (emu)"};
  case Variant::kClean:
  case Variant::kDrift:
  case Variant::kSwept:
    break;
  }
  return {"Comment",         "Time Stamp (sec)", "Magnetic Field (Oe)",
          "Temperature (K)", "Moment (emu)",     "M. Std. Err. (emu)",
          "Mass (grams)"};
}

std::string formatRow(Variant variant, const Row& row) {
  const std::string time = fixed("%.3f", row.time);
  const std::string field = fixed("%.4f", row.field);
  const std::string temperature = fixed("%.4f", row.temperature);
  const std::string moment = fixed("%.6E", row.moment);
  const std::string stdErr = fixed("%.6E", row.stdErr);
  const std::string mass = fixed("%.4f", model::kSampleMass);
  switch (variant) {
  case Variant::kTemperatureFirst:
    return "," + time + "," + temperature + "," + field + "," + moment + "," +
           stdErr + "," + mass;
  case Variant::kEmptyMoment:
    // Stepped DC scans leave the plain moment columns empty and report the
    // fitted moment further right.
    return "," + time + "," + field + "," + temperature + ",,," + moment +
           "," + stdErr + "," + mass;
  case Variant::kHeaderNumbers:
    return "," + time + "," + field + "," + temperature + "," + moment + "," +
           stdErr;
  case Variant::kClean:
  case Variant::kDrift:
  case Variant::kSwept:
    break;
  }
  return "," + time + "," + field + "," + temperature + "," + moment + "," +
         stdErr + "," + mass;
}

std::string header(Variant variant, double nominal) {
  std::string text =
      "[Header]\r\n"
      "TITLE,Gadolinium like sample\r\n"
      "BYAPP,Magnetometer export\r\n"
      "INFO,Sample material,Gadolinium\r\n";
  if (variant == Variant::kHeaderNumbers) {
    // The mass in milligrams with its unit on the next line, and the sweep
    // described by numbers: start, step and end field, set point, cycles.
    // The last line alone holds five numbers before its first word, so it
    // reads as one measurement at the set-point temperature.
    text +=
        "INFO,12.3,SAMPLE_MASS\r\n"
        "INFO,mg,SAMPLE_MASS_UNITS\r\n"
        "INFO,0,500,50000," +
        fixed("%.1f", nominal) +
        ",1,FIELD_START_STEP_END_OE_SETPOINT_K_CYCLES\r\n";
  }
  text += "INFO,Measurement,Isothermal field cycle up and down\r\n[Data]\r\n";
  return text;
}

}  // namespace

std::span<const Variant> allVariants() { return kVariants; }

const char* variantName(Variant variant) {
  switch (variant) {
  case Variant::kClean: return "clean";
  case Variant::kTemperatureFirst: return "temperature-first";
  case Variant::kEmptyMoment: return "empty-moment";
  case Variant::kDrift: return "drift";
  case Variant::kSwept: return "swept";
  case Variant::kHeaderNumbers: return "header-numbers";
  }
  return "?";
}

std::optional<Variant> variantFromName(std::string_view name) {
  for (Variant v : kVariants) {
    if (name == variantName(v)) {
      return v;
    }
  }
  return std::nullopt;
}

ExportSet makeExportSet(Variant variant) {
  ExportSet set;
  model::SplitMix64 rng(0x6B6F7276656C696EULL ^
                        (static_cast<std::uint64_t>(variant) + 1) *
                            0x9E3779B97F4A7C15ULL);
  double clock = 3786912000.0;
  std::string control = fixed("%.4f", model::kSampleMass) +
                        "\r\n5 1\r\n1.0 2.0 3.0 4.0 5.0\r\n";
  std::string titleLine;
  for (const std::string& title : titles(variant)) {
    titleLine += (titleLine.empty() ? "" : ",") + title;
  }
  for (std::size_t i = 0; i < kNominal.size(); ++i) {
    const double nominal = kNominal[i];
    ExportFileText file;
    file.name =
        std::string(variantName(variant)) + "_" + fixed("%.1f", nominal) + "K.dat";
    file.content = header(variant, nominal) + titleLine + "\r\n";
    for (const Row& row : makeRows(variant, i, rng, clock)) {
      file.content += formatRow(variant, row) + "\r\n";
    }
    control += fixed("%.1f", nominal) + "\r\n" + file.name + "\r\n";
    set.nominalTemperatures.push_back(nominal);
    set.files.push_back(std::move(file));
  }
  set.rawControlFile = control;
  return set;
}

double modelEntropyChange(double t1, double t2, double b) {
  constexpr double kStepOe = 50.0;
  const auto area = [&](double t) {
    const double top = b * 1.0e4;
    double sum = 0.0;
    double lastField = 0.0;
    double lastMoment = 0.0;
    for (double h = kStepOe; lastField < top; h += kStepOe) {
      const double field = h < top ? h : top;
      const double moment = model::sampleMoment(field, t);
      sum += (moment + lastMoment) * (field - lastField) * 0.5e-4;
      lastField = field;
      lastMoment = moment;
    }
    return sum;  // emu T
  };
  return -((area(t2) - area(t1)) / (t2 - t1)) / model::kSampleMass;
}

}  // namespace prep::variants
