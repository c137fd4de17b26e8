#pragma once

#include <optional>
#include <string_view>

namespace korvelin {

/// Stops the run until the user answers: a blank line (or one character)
/// continues, anything longer runs as a command first. Raises F6501 when
/// redirected standard input has ended.
void consolePause();

/// Hands the reply to the command interpreter as one command and waits for
/// it; the status, which the caller ignores, or nullopt when no interpreter
/// could be started.
std::optional<int> runCommandLine(std::string_view reply);

}  // namespace korvelin
