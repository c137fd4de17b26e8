// Fuzz target: a whole run of the program, in-process, on files held in
// memory.
//
// The input is split into parts at every line that starts with "--- ". The
// first part is the control file KORVELIN.inp. Each later part starts with
// a header line, "--- NAME" and optionally a tab and flags, and its bytes
// are the file NAME of the scratch folder. Flags: "d" a folder, "r" a file
// that may only be read, "w" one that may only be written. Special names:
//
//   <stdin>   standard input, as a file or a pipe
//   <tty>     standard input, as a terminal delivering one line per read
//   <args>    the command-line arguments, one per line
//   <faults>  faults to plant, blank-separated: rN (sticky: RN) the N-th
//             file read fails; wN:K:E the N-th write puts K bytes and
//             fails with E (f disk full, d refused, o other, n short
//             count); cN KORVELIN.dat cannot grow past N bytes; tN the
//             N-th cut is refused; iN the N-th read of standard input
//             fails; x every exclusive create loses the race; mN at most
//             N files open at once; sN every read of a file or of
//             standard input delivers at most N bytes (no fault: the run
//             must not notice, but for the console's short blocks)
//
// Without a standard-input part, standard input is the null device, so
// every pause passes. Checked after every run: it ended with status 0 and
// nothing on standard error, or with status 1 and one well-formed report
// (two when closing the units at the end failed as well); a result table
// the run wrote is made of well-formed lines of 8 + 13 x fieldCount
// characters, each ended by CR LF but for a last, partial one after a
// run-time error; after a normal end it has one row per pair of
// neighbouring temperatures; every file the run created, and every name
// outside the folder it tried, was named by its input; no file it only
// read has changed; no handle is left open; every command it handed to
// the interpreter was typed at a pause; and the real working folder (an
// empty scratch folder) is still empty. When an open took what earlier
// opens of its file read, from the isotherm reader's store, the run is made
// again with the store off (unless faults were planted, which count
// requests) and must give the same status, console, report and table.

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entropy/driver.h"
#include "entropy/isotherm_reader.h"
#include "entropy/storage.h"
#include "memory_os.h"
#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/units.h"
#include "runtime/run_lifecycle.h"

namespace {

using korvelin::fuzzing::MemoryOs;
using korvelin::platform::SysError;

constexpr std::string_view kControlFile = "KORVELIN.inp";
constexpr std::string_view kTableFile = "KORVELIN.dat";

MemoryOs memoryOs;
korvelin::entropy::Computation computation;
std::string realFolder;
int scratchFolder = -1;  // the real folder, open for fchdir
int workingFolder = -1;  // the folder the fuzzer was started in
bool verbose = false;

void enter(int folder) {
  if (::fchdir(folder) != 0) {
    std::perror("fchdir");
    std::abort();
  }
}

[[noreturn]] void finding(const char* what, std::string_view detail = {}) {
  enter(workingFolder);
  std::fprintf(stderr, "\nFINDING: %s\n%.*s\n", what,
               static_cast<int>(detail.size()), detail.data());
  std::fprintf(stderr, "--- standard error of the run:\n%s\n",
               memoryOs.standardError.c_str());
  std::abort();
}

void check(bool ok, const char* what, std::string_view detail = {}) {
  if (!ok) {
    finding(what, detail);
  }
}

// ---- The input -----------------------------------------------------------

struct Setup {
  std::string control;
  std::vector<std::pair<std::string, std::string>> files;  // header, bytes
  bool haveInput = false;
  bool terminal = true;
  std::string input;
  std::vector<std::string> arguments;
  std::string faults;
};

std::string_view headerName(std::string_view header) {
  return header.substr(0, header.find('\t'));
}

std::string_view headerFlags(std::string_view header) {
  std::size_t tab = header.find('\t');
  return tab == std::string_view::npos ? std::string_view() : header.substr(tab + 1);
}

// Parts start at every line that begins with "--- "; what stands before
// the first one is the control file.
Setup parse(std::string_view bytes) {
  std::vector<std::size_t> marks;
  for (std::size_t at = 0; at + 4 <= bytes.size();) {
    if ((at == 0 || bytes[at - 1] == '\n') && bytes.substr(at, 4) == "--- ") {
      marks.push_back(at);
    }
    std::size_t next = bytes.find('\n', at);
    if (next == std::string_view::npos) {
      break;
    }
    at = next + 1;
  }
  Setup setup;
  setup.control = std::string(bytes.substr(0, marks.empty() ? bytes.size() : marks[0]));
  for (std::size_t k = 0; k < marks.size(); ++k) {
    const std::size_t from = marks[k] + 4;
    const std::size_t to = k + 1 < marks.size() ? marks[k + 1] : bytes.size();
    std::string_view part = bytes.substr(from, to - from);
    std::size_t lineEnd = part.find('\n');
    std::string_view header = part.substr(0, lineEnd);
    std::string_view content =
        lineEnd == std::string_view::npos ? std::string_view() : part.substr(lineEnd + 1);
    std::string_view name = headerName(header);
    if (name == "<stdin>" || name == "<tty>") {
      setup.haveInput = true;
      setup.terminal = name == "<tty>";
      setup.input = std::string(content);
    } else if (name == "<args>") {
      while (!content.empty()) {
        std::size_t end = content.find('\n');
        setup.arguments.emplace_back(content.substr(0, end));
        content = end == std::string_view::npos ? std::string_view()
                                                : content.substr(end + 1);
      }
    } else if (name == "<faults>") {
      setup.faults = std::string(content);
    } else if (!name.empty()) {
      setup.files.emplace_back(std::string(header), std::string(content));
    }
  }
  return setup;
}

// The size KORVELIN.dat may not grow past, if it has a limit.
std::optional<std::size_t> tableCapacity;

std::size_t numberAt(std::string_view text, std::size_t& i) {
  std::size_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = std::min<std::size_t>(value * 10 + std::size_t(text[i] - '0'), 1u << 24);
    ++i;
  }
  return value;
}

SysError errorLetter(char c) {
  switch (c) {
  case 'f': return SysError::kDiskFull;
  case 'd': return SysError::kAccessDenied;
  case 'n': return SysError::kNone;
  default: return SysError::kOther;
  }
}

// Plants the faults; returns whether any was planted.
bool plantFaults(std::string_view text) {
  bool any = false;
  for (std::size_t i = 0; i < text.size();) {
    char kind = text[i++];
    MemoryOs::Fault fault;
    switch (kind) {
    case 'r':
    case 'R':
      fault.call = static_cast<int>(numberAt(text, i));
      fault.sticky = kind == 'R';
      memoryOs.readFault = fault;
      break;
    case 'w':
      fault.call = static_cast<int>(numberAt(text, i));
      if (i < text.size() && text[i] == ':') {
        ++i;
        fault.accepted = numberAt(text, i);
      }
      fault.error = SysError::kDiskFull;
      if (i + 1 < text.size() && text[i] == ':') {
        fault.error = errorLetter(text[i + 1]);
        i += 2;
      }
      memoryOs.writeFault = fault;
      break;
    case 'c': tableCapacity = numberAt(text, i); break;
    case 't':
      fault.call = static_cast<int>(numberAt(text, i));
      fault.error = SysError::kAccessDenied;
      memoryOs.setEndFault = fault;
      break;
    case 'i':
      fault.call = static_cast<int>(numberAt(text, i));
      memoryOs.inputFault = fault;
      break;
    case 'x': memoryOs.loseCreateRace = true; break;
    case 'm': memoryOs.maxOpenFiles = numberAt(text, i); break;
    case 's': memoryOs.readChunk = numberAt(text, i); continue;
    default: continue;
    }
    any = true;
  }
  return any;
}

// ---- Checks --------------------------------------------------------------

bool isIoCode(int code) {
  switch (code) {
  case 6100: case 6101: case 6102: case 6103: case 6104: case 6302:
  case 6303: case 6405: case 6412: case 6413: case 6414: case 6415:
  case 6416: case 6417: case 6418: case 6421: case 6422: case 6423:
  case 6430: case 6500: case 6501: case 6502: case 6503: case 6504:
    return true;
  default:
    return false;
  }
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// One report at the front of `text`: "\r\nrun-time error F6501: READ(name)
// \r\n- message\r\n" or "\r\nrun-time error M6103: MATH\r\n- floating-point
// error: divide by zero\r\n". Returns its length, 0 if it is not one, and
// the statement text in `statement`.
std::size_t parseReport(std::string_view text, std::string_view& statement) {
  constexpr std::string_view kHead = "\r\nrun-time error ";
  if (!startsWith(text, kHead) || text.size() < kHead.size() + 5) {
    return 0;
  }
  std::size_t i = kHead.size();
  const char letter = text[i++];
  int code = 0;
  for (int k = 0; k < 4; ++k, ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return 0;
    }
    code = code * 10 + (text[i] - '0');
  }
  std::string_view rest = text.substr(i);
  if (letter == 'M') {
    statement = ": MATH";
    std::string_view word;
    switch (code) {
    case 6101: word = "invalid"; break;
    case 6103: word = "divide by zero"; break;
    case 6104: word = "overflow"; break;
    default: return 0;
    }
    std::string expected = ": MATH\r\n- floating-point error: ";
    expected += word;
    expected += "\r\n";
    return startsWith(rest, expected) ? i + expected.size() : 0;
  }
  if (letter != 'F' || !isIoCode(code)) {
    return 0;
  }
  for (std::string_view kind : {": OPEN(", ": CLOSE(", ": READ(", ": WRITE("}) {
    if (startsWith(rest, kind)) {
      statement = kind;
    }
  }
  if (statement.empty()) {
    return 0;
  }
  std::size_t close = rest.find(")\r\n");
  if (close == std::string_view::npos) {
    return 0;
  }
  // A name can hold any byte but LF (a command-line argument may end in
  // CR), so the first ")" CR LF ends it.
  std::string_view name = rest.substr(statement.size(), close - statement.size());
  if (name.find('\n') != std::string_view::npos) {
    return 0;
  }
  i += close + 3;
  // The message line: "- " and one short line; every condition has one.
  if (!startsWith(text.substr(i), "- ")) {
    return 0;
  }
  std::size_t end = text.find("\r\n", i);
  if (end == std::string_view::npos || end == i + 2 ||
      text.substr(i, end - i).find('\n') != std::string_view::npos) {
    return 0;
  }
  return end + 2;
}

void checkReports(std::string_view text) {
  std::string_view first;
  std::size_t length = parseReport(text, first);
  check(length > 0, "status 1 without a well-formed report", text);
  std::string_view rest = text.substr(length);
  if (!rest.empty()) {
    // Closing the units at the end may fail once more; nothing else.
    std::string_view second;
    std::size_t more = parseReport(rest, second);
    check(more == rest.size() && second == ": CLOSE(",
          "more on standard error than a report", text);
  }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A field Fw.d: w asterisks, or blanks then [-] digits "." d digits, with no
// digit before the period for a zero integer part. A prefix of a field when
// `partial` (the line was cut there).
bool wellFormedField(std::string_view field, int width, int decimals,
                     bool partial) {
  if (!partial && static_cast<int>(field.size()) != width) {
    return false;
  }
  if (field.find_first_not_of('*') == std::string_view::npos &&
      (partial || static_cast<int>(field.size()) == width)) {
    return true;
  }
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') {
    ++i;
  }
  if (i < field.size() && field[i] == '-') {
    ++i;
  }
  std::size_t digits = i;
  while (i < field.size() && isDigit(field[i])) {
    ++i;
  }
  if (i < field.size() && i > digits && field[digits] == '0') {
    return false;  // "0.50": the zero integer part is never written
  }
  if (i == field.size()) {
    return partial;
  }
  if (field[i++] != '.') {
    return false;
  }
  int places = 0;
  while (i < field.size() && isDigit(field[i])) {
    ++i;
    ++places;
  }
  return i == field.size() && (places == decimals || (partial && places < decimals));
}

// Checks one line of the table without its CR LF. A partial line is a
// prefix of a well-formed one (a failed write may have stopped anywhere,
// even just before the CR LF); with `cellBoundary`, which is for a line
// cut by a failed cell, it must end after a whole cell before the last.
void checkLine(std::string_view line, bool heading, int fields, bool partial,
               bool cellBoundary, std::string_view table) {
  const std::size_t full = 8 + 13 * static_cast<std::size_t>(fields);
  check(partial ? line.size() <= full : line.size() == full,
        "a table line of the wrong length", table);
  if (partial && cellBoundary) {
    check(line.size() >= 8 && line.size() < full && (line.size() - 8) % 13 == 0,
          "a cut table line that does not end after a whole cell", table);
  }
  for (std::size_t at = 0; at < line.size();) {
    const bool first = at == 0;
    const std::size_t width = first ? 8 : 13;
    std::string_view cell = line.substr(at, width);
    const bool cut = cell.size() < width;
    bool ok;
    if (heading && first) {
      ok = std::string_view(" T/B    ").substr(0, cell.size()) == cell;
    } else if (heading) {
      std::string_view lead = cell.substr(0, 8);
      ok = lead.find_first_not_of(' ') == std::string_view::npos &&
           (cell.size() <= 8 || wellFormedField(cell.substr(8), 5, 2, cut));
    } else if (first) {
      ok = wellFormedField(cell, 8, 3, cut);
    } else {
      std::string_view lead = cell.substr(0, 2);
      ok = lead.find_first_not_of(' ') == std::string_view::npos &&
           (cell.size() <= 2 || wellFormedField(cell.substr(2), 11, 3, cut));
    }
    check(ok, "an ill-formed table cell", table);
    at += width;
  }
}

void checkTable(std::string_view table, int status, bool faulted) {
  const auto& p = computation.parameters;
  const int fields = std::max(p.fieldCount, 0);
  std::size_t lines = 0;
  std::size_t at = 0;
  while (at < table.size()) {
    std::size_t end = table.find("\r\n", at);
    const bool partial = end == std::string_view::npos;
    std::string_view line = table.substr(at, partial ? std::string_view::npos : end - at);
    if (partial && faulted && !line.empty() && line.back() == '\r') {
      // A write that stopped between the CR and the LF of a line end.
      check(status == 1, "a cut table line after a normal end", table);
      line.remove_suffix(1);
      checkLine(line, lines == 0, fields, false, false, table);
      ++lines;
      break;
    }
    check(line.find_first_of("\r\n") == std::string_view::npos,
          "a table line with a stray line end", table);
    if (partial) {
      check(status == 1, "a cut table line after a normal end", table);
    }
    checkLine(line, lines == 0, fields, partial, partial && !faulted, table);
    ++lines;
    at = partial ? table.size() : end + 2;
  }
  if (status == 0) {
    const std::size_t rows =
        p.temperatureCount > 1 ? static_cast<std::size_t>(p.temperatureCount - 1) : 0;
    check(lines == rows + 1, "the table has not one row per temperature pair",
          table);
  } else if (!faulted) {
    // Only a cell can fail without a planted fault, and it leaves the part
    // of its row written before it.
    check(!table.empty() && table.substr(table.size() - 2) != "\r\n",
          "a run-time error while writing the table left no cut row", table);
  }
}

bool realFolderEmpty() {
  DIR* dir = ::opendir(realFolder.c_str());
  if (dir == nullptr) {
    return false;
  }
  bool empty = true;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      empty = false;
    }
  }
  ::closedir(dir);
  return empty;
}

// Whether the input gave the name: its last component stands in the
// control file, standard input or the arguments (the folder's own form of
// a path may differ from the text, "./a" being "a"). A name typed at the
// prompt may also be made of pieces of standard input that are not next to
// each other: the prompt reads through the console's block buffer, the
// pause at a terminal reads standard input directly, so the rest of a long
// block stays for the next prompt while the pause takes what follows it.
// Its bytes then still come from standard input, in order.
bool mentioned(std::string_view name, std::string_view everything,
               std::string_view input) {
  while (!name.empty() && name.back() == '/') {
    name.remove_suffix(1);
  }
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (everything.find(name) != std::string_view::npos) {
    return true;
  }
  std::size_t at = 0;
  for (char c : name) {
    at = input.find(c, at);
    if (at == std::string_view::npos) {
      return false;
    }
    ++at;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The run goes on in an empty scratch folder of the real file system,
  // made the working folder only while the program runs: it must never put
  // anything there, since every file it uses goes through the seam.
  std::string pattern =
      (std::filesystem::temp_directory_path() / "korvelin-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("scratch folder");
    std::abort();
  }
  realFolder = pattern;
  scratchFolder = ::open(realFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  workingFolder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (scratchFolder < 0 || workingFolder < 0) {
    std::perror("working folder");
    std::abort();
  }
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(realFolder, ignored);
  });
  verbose = std::getenv("KORVELIN_FUZZ_VERBOSE") != nullptr;

  // A reproducer written while the run is in the scratch folder must not
  // land there: artifacts get an absolute prefix.
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  const std::string here = std::filesystem::current_path().string() + "/";
  bool prefixed = false;
  for (int i = 0; i < *argc; ++i) {
    std::string argument = (*argv)[i];
    constexpr std::string_view kPrefix = "-artifact_prefix=";
    if (startsWith(argument, kPrefix)) {
      prefixed = true;
      if (argument.size() > kPrefix.size() && argument[kPrefix.size()] != '/') {
        argument = std::string(kPrefix) + here + argument.substr(kPrefix.size());
      }
    }
    texts.push_back(argument);
  }
  if (!prefixed) {
    texts.push_back("-artifact_prefix=" + here);
  }
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  *argc = static_cast<int>(texts.size());
  *argv = pointers.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Setup setup = parse(bytes);

  std::map<std::string, std::string> before;
  // Puts the input's folder, standard input and faults in place and runs
  // the program on them; returns the exit status.
  bool faulted = false;
  auto runOnce = [&] {
    memoryOs.reset();
    memoryOs.addFile(kControlFile, setup.control);
    before.clear();
    before[MemoryOs::normalise(kControlFile)] = setup.control;
    for (const auto& [header, content] : setup.files) {
      std::string_view name = headerName(header);
      std::string_view flags = headerFlags(header);
      if (MemoryOs::normalise(name).empty()) {
        continue;
      }
      MemoryOs::Entry& entry = memoryOs.addFile(name, content);
      entry.directory = flags.find('d') != std::string_view::npos;
      entry.writable = flags.find('r') == std::string_view::npos;
      entry.readable = flags.find('w') == std::string_view::npos;
      if (entry.directory) {
        entry.bytes.clear();
      }
    }
    for (const auto& [key, entry] : memoryOs.entries()) {
      before[key] = entry.bytes;
    }
    if (setup.haveInput) {
      memoryOs.setStandardInput(setup.input, setup.terminal);
    } else {
      memoryOs.setStandardInput("", true);
    }
    memoryOs.commandLineArguments = setup.arguments;
    tableCapacity.reset();
    faulted = plantFaults(setup.faults);
    if (tableCapacity) {
      // A limit needs a file to hold it: an empty table is put in place
      // when there is none.
      MemoryOs::Entry* table = memoryOs.find(kTableFile);
      if (table == nullptr) {
        table = &memoryOs.addFile(kTableFile, "");
        before[std::string(kTableFile)] = "";
      }
      table->capacity = *tableCapacity;
    }

    korvelin::platform::installOs(memoryOs);
    korvelin::recordio::resetUnitsForTesting();
    korvelin::recordio::resetConsoleForTesting();
    korvelin::entropy::forgetReadSetsForTesting();
    computation = korvelin::entropy::Computation{};

    int exitStatus = -1;
    enter(scratchFolder);
    try {
      korvelin::runProgram(
          [] { korvelin::entropy::runEntropyProgram(computation); });
    } catch (const korvelin::fuzzing::ProcessExit& exit) {
      exitStatus = exit.status;
    }
    enter(workingFolder);
    return exitStatus;
  };
  const int status = runOnce();

  if (verbose) {
    // For looking at a reproducer: KORVELIN_FUZZ_VERBOSE=1 fuzz_run FILE
    std::fprintf(stderr, "status %d\n--- standard output\n%s\n--- standard error\n%s\n",
                 status, memoryOs.standardOutput.c_str(),
                 memoryOs.standardError.c_str());
    if (const MemoryOs::Entry* table = memoryOs.find(kTableFile)) {
      std::fprintf(stderr, "--- %s\n%s\n", kTableFile.data(), table->bytes.c_str());
    }
  }

  // How the run ended.
  check(status == 0 || status == 1, "an exit status other than 0 and 1");
  if (status == 0) {
    check(memoryOs.standardError.empty(),
          "standard error written at a normal end", memoryOs.standardError);
  } else {
    checkReports(memoryOs.standardError);
  }

  // The result table.
  const MemoryOs::Entry* table = memoryOs.find(kTableFile);
  if (table != nullptr && !table->directory &&
      (table->modified || (table->created && status == 0))) {
    checkTable(table->bytes, status, faulted);
  }
  if (status == 0) {
    check(table != nullptr, "a normal end without a result table");
  }

  // What the run touched.
  // Names come from the control file (a part may have replaced the
  // first one), standard input and the arguments.
  std::string everything = before[MemoryOs::normalise(kControlFile)];
  everything += setup.input;
  for (const std::string& argument : setup.arguments) {
    everything += '\n';
    everything += argument;
  }
  for (const std::string& name : memoryOs.outsideNames) {
    check(mentioned(name, everything, setup.input),
          "a name outside the folder that the input never gave", name);
  }
  for (const auto& [key, entry] : memoryOs.entries()) {
    auto old = before.find(key);
    if (old == before.end()) {
      check(key == kTableFile || mentioned(key, everything, setup.input),
            "a file created under a name the input never gave", key);
      continue;
    }
    if (key != kTableFile) {
      check(!entry.modified && entry.bytes == old->second,
            "a file that is only read has changed", key);
    }
  }
  if (!faulted) {
    check(memoryOs.openHandles() == 0, "a file left open at the end");
  }
  for (const std::string& command : memoryOs.commands) {
    check(!command.empty() && setup.input.find(command) != std::string::npos,
          "a command that was never typed", command);
  }
  check(realFolderEmpty(), "the run put something in the real working folder");

  // Later opens of a file take what earlier ones read from a store; that
  // must change nothing. The run is made again with every open reading
  // afresh (not with planted faults: those count the requests, and the
  // store saves requests) and must give the same bytes.
  if (!faulted && korvelin::entropy::readSetStoreConsultedForTesting()) {
    const std::string output = memoryOs.standardOutput;
    const std::string errors = memoryOs.standardError;
    const MemoryOs::Entry* first = memoryOs.find(kTableFile);
    const std::string firstTable = first == nullptr ? "(none)" : first->bytes;
    korvelin::entropy::useReadSetStoreForTesting(false);
    const int again = runOnce();
    korvelin::entropy::useReadSetStoreForTesting(true);
    const MemoryOs::Entry* second = memoryOs.find(kTableFile);
    check(again == status, "the store changed the exit status");
    check(memoryOs.standardOutput == output, "the store changed the console",
          memoryOs.standardOutput);
    check(memoryOs.standardError == errors, "the store changed the report",
          memoryOs.standardError);
    check((second == nullptr ? "(none)" : second->bytes) == firstTable,
          "the store changed the result table", firstTable);
  }

  // Whatever the run made is freed before the input is over, so that the
  // fuzzer sees as many frees as allocations and does not suspect a leak.
  memoryOs.reset();
  korvelin::recordio::resetUnitsForTesting();
  return 0;
}
