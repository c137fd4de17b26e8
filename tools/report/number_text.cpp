#include "number_text.h"

#include <cmath>
#include <cstdio>

namespace korvelin::report {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  // -0.000 says nothing that 0.000 does not.
  std::string result = text;
  if (result.front() == '-' &&
      result.find_first_not_of("-0.") == std::string::npos) {
    result.erase(0, 1);
  }
  return result;
}

std::string fieldText(const std::optional<double>& field) {
  if (!field) {
    return "*****";
  }
  std::string text = fixed(*field, 2);
  if (std::fabs(*field - std::stod(text)) > 1e-9) {
    text = fixed(*field, 6);
    text.erase(text.find_last_not_of('0') + 1);
  }
  return text;
}

std::string widthText(double width) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", width);
  return text;
}

std::string machineNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::size_t displayWidth(const std::string& text) {
  std::size_t width = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {  // not a continuation byte
      ++width;
    }
  }
  return width;
}

}  // namespace korvelin::report
