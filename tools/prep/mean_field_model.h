// The gadolinium-like sample of the example data set, as a header so that the
// variant generator and the end-to-end comparison share one model.
//
// Weiss mean-field model with a Brillouin function,
//   m = B_J(x),  x = g J muB B_int / (kB T) + 3 J / (J + 1) (T_C / T) m,
//   B_int = B_applied - N mu0 Ms m,
// m = M / Ms the reduced magnetisation. Below T_C the demagnetising term keeps
// B_int = 0 while the applied field is smaller than N mu0 Ms m_spont (the
// domains rearrange), which gives the linear initial rise of a real plate.
//
// Only +, -, *, / and exact scalings by powers of two are used, so every
// compiler and library gives the same bits (the build turns off contraction).
#pragma once

#include <cmath>
#include <cstdint>

namespace prep::model {

inline constexpr double kBoltzmann = 1.380649e-23;         // J/K
inline constexpr double kBohrMagneton = 9.2740100783e-24;  // J/T
inline constexpr double kSpinJ = 3.5;
inline constexpr double kLandeG = 2.0;
inline constexpr double kCurieTemperature = 294.0;   // K
inline constexpr double kSaturationPerGram = 268.0;  // emu/g at 0 K
inline constexpr double kDensity = 7.90;             // g/cm3
inline constexpr double kDemagnetisingFactor = 0.1;  // plate, field in plane
inline constexpr double kSampleMass = 0.0123;        // g
inline constexpr double kPi = 3.14159265358979323846;
// 4 pi Ms in gauss equals mu0 Ms in units of 1e-4 T.
inline constexpr double kMu0Ms =
    4.0 * kPi * kSaturationPerGram * kDensity * 1.0e-4;  // T
inline constexpr double kDemagField = kDemagnetisingFactor * kMu0Ms;

// exp(x) as x = k ln2 + r, |r| <= ln2 / 2, and e^r from its Taylor series.
inline double detExp(double x) {
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

// coth(y) for y > 0; the series keeps small arguments accurate.
inline double coth(double y) {
  if (y < 0.05) {
    const double y2 = y * y;
    return 1.0 / y +
           y * (1.0 / 3.0 -
                y2 * (1.0 / 45.0 - y2 * (2.0 / 945.0 - y2 / 4725.0)));
  }
  const double e = detExp(-2.0 * y);
  return (1.0 + e) / (1.0 - e);
}

inline double brillouin(double x) {
  if (x <= 0.0) {
    return 0.0;
  }
  const double a = (2.0 * kSpinJ + 1.0) / (2.0 * kSpinJ);
  const double b = 1.0 / (2.0 * kSpinJ);
  if (x < 1.0e-3) {
    // The two coth terms cancel near zero; the slope is exact enough here.
    return (kSpinJ + 1.0) / (3.0 * kSpinJ) * x;
  }
  return a * coth(a * x) - b * coth(b * x);
}

// B_J(x(m)) - m at applied field b (T, >= 0) and temperature t.
inline double residual(double m, double b, double t) {
  const double zeeman = kLandeG * kSpinJ * kBohrMagneton / (kBoltzmann * t);
  const double exchange =
      3.0 * kSpinJ / (kSpinJ + 1.0) * kCurieTemperature / t;
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

inline double spontaneousMagnetisation(double t) {
  if (t >= kCurieTemperature) {
    return 0.0;
  }
  const double exchange =
      3.0 * kSpinJ / (kSpinJ + 1.0) * kCurieTemperature / t;
  return bisect([&](double m) { return brillouin(exchange * m) - m; }, 1.0e-9,
                1.0);
}

// Reduced magnetisation at applied field b (T, either sign).
inline double reducedMagnetisation(double b, double t) {
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
    m = bisect([&](double x) { return residual(x, magnitude, t); },
               spontaneous, hi);
  }
  return b < 0.0 ? -m : m;
}

/// Sample moment in emu at an applied field in oersted and a temperature in K.
inline double sampleMoment(double fieldOe, double t) {
  return kSampleMass * kSaturationPerGram *
         reducedMagnetisation(fieldOe * 1.0e-4, t);
}

/// splitmix64: small, fixed and the same everywhere.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  /// Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  /// Uniform in [-1, 1).
  double symmetric() { return 2.0 * uniform() - 1.0; }

  /// Roughly standard normal: four uniforms have mean 2, variance 1/3.
  double normal() {
    const double s = uniform() + uniform() + uniform() + uniform();
    return (s - 2.0) * 1.7320508075688772;
  }

 private:
  std::uint64_t state_;
};

}  // namespace prep::model
