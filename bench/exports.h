#pragma once

// Realistic magnetometer exports for the benchmarks: the sample model, the
// measurement protocol and the text layout of an export, shared by the case
// generator and the scanner micro-benchmarks so that both read the same kind
// of bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace korvelin::bench {

/// splitmix64: our own generator, so that every library gives the same data.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  /// Uniform in [0, 1), 53 random bits.
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  /// Uniform in [-1, 1).
  double symmetric() { return 2.0 * uniform() - 1.0; }

  /// Approximately standard normal (sum of four uniforms).
  double normal() {
    const double s = uniform() + uniform() + uniform() + uniform();
    return (s - 2.0) * 1.7320508075688772;
  }

 private:
  std::uint64_t state_;
};

/// Sample mass in grams of the modelled plate.
inline constexpr double kSampleMass = 0.0123;

/// Moment in emu of the mean-field ferromagnet (Curie point 294 K) at an
/// applied field in oersted and a temperature in kelvin.
double sampleMoment(double fieldOe, double temperature);

/// Field set points of one isotherm, in oersted and measuring order.
enum class Protocol {
  /// Virgin rise to 50 kOe in fine steps, then down to zero: 161 rows.
  kHalfCycle,
  /// Virgin rise, down to -50 kOe, up to +50 kOe and back to zero: 461 rows.
  kFullLoop,
};

std::vector<double> fieldSetPoints(Protocol protocol);

struct Measurement {
  double time;         ///< s, the instrument's own epoch
  double field;        ///< Oe, as read back
  double temperature;  ///< K, as read back
  double moment;       ///< emu, with noise
  double stdErr;       ///< emu
  bool rising;         ///< the field went up to reach this row
};

/// Measures one isotherm at a nominal temperature: temperature within
/// +-0.05 K, field readings within +-0.8 Oe of the set point, a few oersted
/// of trapped flux at zero set points, relative moment noise near 1e-4.
/// `clock` advances by the settling time and the time per point.
std::vector<Measurement> measureIsotherm(double nominal, Protocol protocol,
                                         SplitMix64& rng, double& clock);

/// Row layouts: the standard one has 85 columns (rows of 350 to 550 bytes);
/// the long one adds the raw channels of the pick-up coil (rows of about
/// 2 KB).
enum class Layout { kStandard, kLongLines };

/// "[Header]", word-only header lines, "[Data]" and the column titles, each
/// line ending in CR LF. No digit, slash, asterisk or quotation mark appears
/// in any of them.
std::string headerSection(Layout layout);

/// Number of cells in every data row of the layout.
std::size_t columnCount(Layout layout);

/// The cells of a data row after the time stamp, starting with the comma
/// that ends the time stamp and ending in CR LF. The leading comment cell is
/// empty, so a whole row is "," + time + rowTail(...).
std::string rowTail(const Measurement& m, Layout layout, std::size_t rowIndex,
                    SplitMix64& spare);

/// The time-stamp cell of a row.
std::string timeCell(double time);

/// The temperature cell exactly as the row prints it (the reader compares
/// this text, not the value it came from).
std::string temperatureCell(double temperature);

}  // namespace korvelin::bench
