#include "entropy/integration.h"

#include "runtime/fp_policy.h"

namespace korvelin::entropy {

float branchArea(const IsothermBranch& branch, float targetField) {
  const auto& h = branch.field;
  const auto& m = branch.moment;
  const auto b = static_cast<double>(targetField);
  float area = 0.0f;
  for (std::size_t l = 0; l + 1 < static_cast<std::size_t>(branch.pointCount);
       ++l) {
    const auto h0 = static_cast<double>(h[l]);
    const auto h1 = static_cast<double>(h[l + 1]);
    const auto m0 = static_cast<double>(m[l]);
    const auto m1 = static_cast<double>(m[l + 1]);
    // Within the field tolerance of the next point the whole interval
    // counts.
    if (b + static_cast<double>(kFieldTolerance) >= h1) {
      area = fp::store(static_cast<double>(area) + (m1 + m0) * (h1 - h0) * 0.5);
      continue;
    }
    const float cutMoment =
        fp::store(fp::divide((h1 - b) * m0 + (b - h0) * m1, h1 - h0));
    area = fp::store(static_cast<double>(area) +
                     (b - h0) * (m0 + static_cast<double>(cutMoment)) * 0.5);
    break;
  }
  return area;
}

float entropyChange(const Computation& computation, int i, int j) {
  const RunParameters& p = computation.parameters;
  const auto row = static_cast<std::size_t>(i);
  const float field = p.targetFields[static_cast<std::size_t>(j)];
  const float s1 = branchArea(computation.isotherms[row], field);
  const float s2 = branchArea(computation.isotherms[row + 1], field);
  const double perKelvin =
      fp::divide(static_cast<double>(s2) - static_cast<double>(s1),
                 static_cast<double>(p.temperatures[row + 1]) -
                     static_cast<double>(p.temperatures[row]));
  return fp::store(fp::divide(-perKelvin, static_cast<double>(p.mass)));
}

}  // namespace korvelin::entropy
