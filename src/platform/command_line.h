#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvelin::platform {

/// The arguments after the program name in a Windows command line, split as
/// the C runtime splits it for main: blanks and tabs separate arguments,
/// double quotes group them, and backslashes are literal except before a
/// double quote. Pure text work, so it is built and tested on every platform.
std::vector<std::string> splitCommandLine(std::string_view line);

}  // namespace korvelin::platform
