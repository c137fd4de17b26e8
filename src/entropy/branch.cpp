#include "entropy/branch.h"

#include <cmath>

#include "entropy/progress_log.h"
#include "runtime/fp_policy.h"

namespace korvelin::entropy {

void extractBranch(const MeasurementBuffer& buffer, std::int32_t sweepDirection,
                   float temperature, IsothermBranch& branch) {
  const auto direction =
      static_cast<double>(static_cast<float>(sweepDirection));
  std::size_t next = 0;  // the next free position of the branch
  for (std::size_t k = 1; k < static_cast<std::size_t>(buffer.pointCount);
       ++k) {
    float step = fp::store(static_cast<double>(buffer.field[k]) -
                           static_cast<double>(buffer.field[k - 1]));
    if (direction * static_cast<double>(step) > 0.0) {
      if (next == 0) {
        // The first accepted point anchors the branch, whatever the step
        // from it; its moment stays zero.
        branch.field[0] = buffer.field[0];
        next = 1;
      }
      branch.field[next] = buffer.field[k];
      branch.moment[next] = buffer.moment[k];
      ++next;
    }
  }
  branch.pointCount = static_cast<std::int32_t>(next);
  logBranchKept(branch, temperature);

  if (next >= 2 && std::fabs(static_cast<double>(branch.field[next - 1])) <
                       std::fabs(static_cast<double>(branch.field[0]))) {
    std::array<float, kMaxPoints> fieldCopy = branch.field;
    std::array<float, kMaxPoints> momentCopy = branch.moment;
    for (std::size_t p = 0; p < next; ++p) {
      branch.field[p] = fieldCopy[next - 1 - p];
      branch.moment[p] = momentCopy[next - 1 - p];
    }
    logBranchReversed(branch);
  }
}

}  // namespace korvelin::entropy
