#pragma once

#include <optional>
#include <string>

namespace korvelin::report {

/// value with a fixed number of decimals: fixed(3.4512, 3) is "3.451".
[[nodiscard]] std::string fixed(double value, int decimals);

/// A target field for people: two decimals as the table heading has them,
/// more only when the value has them (from a control file): 1 -> "1.00",
/// 0.125 -> "0.125"; an unknown field (heading of asterisks) is "*****".
[[nodiscard]] std::string fieldText(const std::optional<double>& field);

/// A TEC window width: 3 -> "3", 2.5 -> "2.5".
[[nodiscard]] std::string widthText(double width);

/// Up to ten significant digits, for files that programs read: 293.75 ->
/// "293.75", 1 -> "1".
[[nodiscard]] std::string machineNumber(double value);

/// The number of characters a UTF-8 text takes on a terminal, taking every
/// code point as one column (enough for the units used here).
[[nodiscard]] std::size_t displayWidth(const std::string& text);

}  // namespace korvelin::report
