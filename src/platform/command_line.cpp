#include "platform/command_line.h"

#include <cstddef>

namespace korvelin::platform {
namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::size_t i = 0;
  // The program name follows simpler rules: a quoted name runs to the next
  // quote, an unquoted one to the first blank or tab, and backslashes are
  // never special in it (a name is a path, full of them).
  if (i < line.size() && line[i] == '"') {
    std::size_t close = line.find('"', i + 1);
    i = close == std::string_view::npos ? line.size() : close + 1;
  }
  while (i < line.size() && !isSeparator(line[i])) {
    ++i;
  }

  std::vector<std::string> arguments;
  for (;;) {
    while (i < line.size() && isSeparator(line[i])) {
      ++i;
    }
    if (i >= line.size()) {
      return arguments;
    }
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !isSeparator(line[i]))) {
      // a\\\"b -> a\"b: backslashes count only when a quote follows them;
      // each pair gives one backslash, and an odd one out makes the quote a
      // literal character instead of a delimiter.
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          // "a""b" -> a"b: a doubled quote inside quotes is one literal
          // quote, and the quoted part goes on.
          argument += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
        continue;
      }
      argument.append(backslashes, '\\');
      if (i < line.size() && (quoted || !isSeparator(line[i]))) {
        argument += line[i];
        ++i;
      }
    }
    arguments.push_back(std::move(argument));
  }
}

}  // namespace korvelin::platform
