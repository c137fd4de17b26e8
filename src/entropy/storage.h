#pragma once

#include <array>
#include <cstdint>

namespace korvelin::entropy {

inline constexpr int kMaxFields = 20;
inline constexpr int kMaxTemperatures = 100;
inline constexpr int kMaxPoints = 100;
inline constexpr int kFileNameLength = 50;

/// Temperatures farther than this from the wanted one are skipped (kelvin).
inline constexpr float kTemperatureTolerance = 0.25f;
/// Low-field cut-off (times 10000, in oersted) and the slack when a branch
/// point is compared with a target field (tesla).
inline constexpr float kFieldTolerance = 0.01f;
/// Oersted to tesla.
inline constexpr float kTeslaPerOersted = 0.0001f;

/// What the control file gives. Arrays are indexed from 0 for number 1.
struct RunParameters {
  float mass = 0.0f;                 ///< grams; the divisor of every cell
  std::int32_t fieldCount = 0;       ///< zero or less: no target fields
  std::int32_t sweepDirection = 0;   ///< sign only: rising, falling, none
  std::array<float, kMaxFields> targetFields{};          ///< tesla
  std::array<float, kMaxTemperatures> temperatures{};    ///< kelvin
  std::int32_t temperatureCount = 0;
  std::array<char, kFileNameLength> fileName{};  ///< blank-padded
};

/// Accepted (field, moment) points of the current isotherm file. Reused for
/// every file and never cleared: an empty column keeps what a slot held.
struct MeasurementBuffer {
  std::array<float, kMaxPoints> field{};   ///< oersted as read, tesla after
  std::array<float, kMaxPoints> moment{};
  float recordTemperature = 0.0f;
  float ignored = 0.0f;
  std::int32_t pointCount = 0;
};

/// The kept sweep branch of one temperature.
struct IsothermBranch {
  std::int32_t pointCount = 0;  ///< 0 or 2..100
  std::array<float, kMaxPoints> field{};
  std::array<float, kMaxPoints> moment{};
};

using IsothermTable = std::array<IsothermBranch, kMaxTemperatures>;

/// The whole working storage of a run, allocated once.
struct Computation {
  RunParameters parameters;
  MeasurementBuffer measurements;
  IsothermTable isotherms;
};

}  // namespace korvelin::entropy
