// A replay of how korvelin's isotherm reader walks through a file: reads of
// five values (ignored, ignored, field, temperature, moment), each one
// started again after a value it cannot convert, each successful one
// passing over the rest of its line. The check uses it to tell which header
// numbers end up in a measurement.
//
// Repeat counts ("3*1.5") are not replayed: an asterisk counts as an
// ordinary character, so such a value reads as a word. Exports do not use
// them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace prep {

/// One completed five-value read. The slots hold what korvelin's variables
/// hold afterwards: a value left out (empty, or after a slash) keeps the
/// previous one.
struct ReplayedSet {
  int firstLine = 0;  // line of the first value of the successful read
  int lastLine = 0;   // line of its last value
  double field = 0.0;  // oersted, as read
  double temperature = 0.0;
  double moment = 0.0;
  bool endedBySlash = false;
};

/// A number that a read took from a line in front of the data rows.
struct HeaderNumber {
  int line = 0;
  std::string text;
};

struct HeaderReplay {
  /// Completed reads that started in front of `firstDataLine`.
  std::vector<ReplayedSet> sets;
  /// Every number read from a line in front of `firstDataLine`.
  std::vector<HeaderNumber> numbers;
};

/// Replays the reads from the start of `content` until one starts on or
/// after `firstDataLine` (1-based), or the file ends. All slots start at 0,
/// as for the first file of a run.
HeaderReplay replayHeader(std::string_view content, int firstDataLine);

}  // namespace prep
