#include "entropy/progress_log.h"

#include <string_view>

#include "recordio/record_writer.h"
#include "runtime/console_pause.h"

namespace korvelin::entropy {
namespace {

using recordio::beginWrite;
using recordio::endWrite;
using recordio::kConsoleUnit;
using recordio::writeCharacter;
using recordio::writeInteger;
using recordio::writeReal;

std::string_view fileName(const RunParameters& parameters) {
  return {parameters.fileName.data(), parameters.fileName.size()};
}

}  // namespace

void logFileAnnounced(const RunParameters& parameters, float temperature) {
  beginWrite(kConsoleUnit, "");
  writeCharacter("Leyendo fichero: ");
  writeCharacter(fileName(parameters));
  endWrite();
  beginWrite(kConsoleUnit, "");
  writeCharacter("Temperatura: ");
  writeReal(temperature);
  endWrite();
}

void logFileOpened(const RunParameters& parameters) {
  beginWrite(kConsoleUnit, "");
  endWrite();
  beginWrite(kConsoleUnit, "");
  writeCharacter(fileName(parameters));
  endWrite();
  beginWrite(kConsoleUnit, "");
  writeCharacter("=============");
  endWrite();
  consolePause();
}

void logPointsCounted(std::int32_t pointCount) {
  beginWrite(kConsoleUnit, "");
  writeCharacter("No puntos totales: ");
  writeInteger(pointCount);
  endWrite();
}

void logBranchKept(const IsothermBranch& branch, float temperature) {
  for (std::size_t l = 0; l < static_cast<std::size_t>(branch.pointCount);
       ++l) {
    beginWrite(kConsoleUnit, "");
    writeReal(temperature);
    writeReal(branch.field[l]);
    writeReal(branch.moment[l]);
    endWrite();
  }
  beginWrite(kConsoleUnit, "");
  writeCharacter("No de puntos para T = ");
  writeReal(temperature);
  writeInteger(branch.pointCount);
  endWrite();
  beginWrite(kConsoleUnit, "");
  writeCharacter(" Puntos ordenados por el campo");
  endWrite();
}

void logBranchReversed(const IsothermBranch& branch) {
  for (std::size_t l = 0; l < static_cast<std::size_t>(branch.pointCount);
       ++l) {
    beginWrite(kConsoleUnit, "");
    writeReal(branch.field[l]);
    writeReal(branch.moment[l]);
    endWrite();
  }
}

void logListFinished(std::int32_t temperatureCount) {
  beginWrite(kConsoleUnit, "");
  writeCharacter(" No temperaturas ");
  writeInteger(temperatureCount);
  endWrite();
  consolePause();
}

}  // namespace korvelin::entropy
