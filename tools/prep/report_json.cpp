#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "report.h"

namespace prep {
namespace {

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;  // UTF-8 passes through as it is
    }
  }
  return out + "\"";
}

// Shortest text that reads back as the same double; JSON has no NaN.
std::string jsonNumber(double value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  char buffer[32];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    if (std::strtod(buffer, nullptr) == value) {
      break;
    }
  }
  return buffer;
}

std::string column(const Column& c) {
  if (c.index < 0) {
    std::string list;
    for (int i : c.ambiguous) {
      list += (list.empty() ? "" : ",") + std::to_string(i + 1);
    }
    return "{\"value\":null,\"ambiguous\":[" + list + "]}";
  }
  return "{\"value\":" + std::to_string(c.index + 1) +
         ",\"title\":" + jsonString(c.title) +
         ",\"unit\":" + (c.unitAssumed ? "null" : jsonString(c.unit)) +
         ",\"scale\":" + jsonNumber(c.scale) +
         ",\"offset\":" + jsonNumber(c.offset) + "}";
}

void writeFile(std::ostream& out, const Analysis& a) {
  out << "{\"path\":" << jsonString(a.path) << ",\"titleLine\":" << a.titleLine
      << ",\"firstDataLine\":" << a.firstDataLine
      << ",\"lastDataLine\":" << a.lastDataLine << ",\"rows\":" << a.rowCount
      << ",\"skippedRows\":" << a.skippedRows << ",\"columns\":{";
  for (int q = 0; q < kQuantityCount; ++q) {
    out << (q == 0 ? "" : ",") << jsonString(quantityName(static_cast<Quantity>(q)))
        << ':' << column(a.columns[q]);
  }
  out << "},\"korvelinColumns\":{\"field\":3,\"temperature\":4,\"moment\":5}";
  out << ",\"mass\":";
  if (!a.mass.found) {
    out << "null";
  } else {
    out << "{\"value\":" << jsonNumber(a.mass.value) << ",\"unit\":"
        << (a.mass.unit.empty() ? "null" : jsonString(a.mass.unit))
        << ",\"grams\":" << (a.mass.grams ? jsonNumber(*a.mass.grams) : "null")
        << ",\"line\":" << a.mass.line << ",\"source\":" << jsonString(a.mass.where)
        << '}';
  }
  out << ",\"clusters\":[";
  for (std::size_t i = 0; i < a.clusters.size(); ++i) {
    const Cluster& c = a.clusters[i];
    out << (i == 0 ? "" : ",") << "{\"mean\":" << jsonNumber(c.mean)
        << ",\"min\":" << jsonNumber(c.min) << ",\"max\":" << jsonNumber(c.max)
        << ",\"points\":" << c.points.size()
        << ",\"insideMeanWindow\":" << c.insideMean
        << ",\"roundValue\":" << jsonNumber(c.roundValue)
        << ",\"roundValueFromControl\":" << (c.fromControl ? "true" : "false")
        << ",\"insideRoundWindow\":" << c.insideRound
        << ",\"risingBranch\":" << c.rising << ",\"fallingBranch\":" << c.falling
        << ",\"risingBranchRead\":" << c.risingRead
        << ",\"fallingBranchRead\":" << c.fallingRead
        << ",\"capacity\":" << kKorvelinCapacity << '}';
  }
  out << "],\"headerMeasurements\":[";
  for (std::size_t i = 0; i < a.header.sets.size(); ++i) {
    const ReplayedSet& s = a.header.sets[i];
    out << (i == 0 ? "" : ",") << "{\"firstLine\":" << s.firstLine
        << ",\"lastLine\":" << s.lastLine << ",\"field\":" << jsonNumber(s.field)
        << ",\"temperature\":" << jsonNumber(s.temperature)
        << ",\"moment\":" << jsonNumber(s.moment) << '}';
  }
  out << "],\"headerNumbers\":[";
  for (std::size_t i = 0; i < a.header.numbers.size(); ++i) {
    out << (i == 0 ? "" : ",") << "{\"line\":" << a.header.numbers[i].line
        << ",\"text\":" << jsonString(a.header.numbers[i].text) << '}';
  }
  out << "],\"findings\":[";
  for (std::size_t i = 0; i < a.findings.size(); ++i) {
    const Finding& f = a.findings[i];
    out << (i == 0 ? "" : ",") << "{\"severity\":"
        << jsonString(severityName(f.severity)) << ",\"code\":"
        << jsonString(f.code) << ",\"line\":" << f.line
        << ",\"message\":" << jsonString(f.message) << '}';
  }
  out << "],\"problems\":" << a.problemCount() << '}';
}

}  // namespace

void writeJsonReport(std::ostream& out, const std::vector<Analysis>& files) {
  int problems = 0;
  int warnings = 0;
  out << "{\"files\":[";
  for (std::size_t i = 0; i < files.size(); ++i) {
    out << (i == 0 ? "" : ",\n");
    writeFile(out, files[i]);
    problems += files[i].problemCount();
    for (const Finding& f : files[i].findings) {
      warnings += f.severity == Severity::kWarning ? 1 : 0;
    }
  }
  out << "],\n\"problems\":" << problems << ",\"warnings\":" << warnings
      << "}\n";
}

}  // namespace prep
