#include "entropy/integration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <utility>

#include "runtime/run_error.h"

namespace korvelin::entropy {
namespace {

IsothermBranch branchOf(std::initializer_list<std::pair<float, float>> points) {
  IsothermBranch branch;
  for (auto [field, moment] : points) {
    auto p = static_cast<std::size_t>(branch.pointCount++);
    branch.field[p] = field;
    branch.moment[p] = moment;
  }
  return branch;
}

// Two isotherms 2 K apart whose areas up to 2 T are 2 and 1.
Computation twoIsotherms(float mass, float t1, float t2) {
  Computation c;
  c.parameters.mass = mass;
  c.parameters.temperatures[0] = t1;
  c.parameters.temperatures[1] = t2;
  c.parameters.temperatureCount = 2;
  c.isotherms[0] = branchOf({{0, 0}, {1, 1}, {2, 2}});
  c.isotherms[1] = branchOf({{0, 0}, {1, 0.5f}, {2, 1}});
  return c;
}

TEST(BranchAreaTest, TrapezoidsUpToTheTargetField) {
  const IsothermBranch rising = branchOf({{0, 0}, {1, 1}, {2, 2}});
  struct Case {
    float field;
    float area;
  };
  const Case cases[] = {
      {2.0f, 2.0f},
      // The second interval is cut at 1.25 T with an interpolated moment.
      {1.25f, 0.78125f},
      // Within 0.01 T of a point the whole interval counts, and the next
      // one adds only the piece beyond it: 0.005 * (1 + 1.005) / 2.
      {1.005f, 0.5050125f},
      // Nothing is extrapolated beyond the last point.
      {5.0f, 2.0f},
      {0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_FLOAT_EQ(branchArea(rising, c.field), c.area);
  }
  EXPECT_EQ(branchArea(IsothermBranch{}, 2.0f), 0.0f);
  // A first point above the target gives a negative piece.
  EXPECT_LT(branchArea(branchOf({{1, 1}, {2, 2}}), 0.5f), 0.0f);
}

TEST(EntropyChangeTest, WorkedExamples) {
  Computation c = twoIsotherms(1.0f, 300.0f, 302.0f);
  c.parameters.fieldCount = 2;
  c.parameters.targetFields[0] = 2.0f;
  c.parameters.targetFields[1] = 1.25f;
  EXPECT_EQ(entropyChange(c, 0, 0), 0.5f);
  EXPECT_EQ(entropyChange(c, 0, 1), 0.1953125f);
  // Temperatures in falling order flip the sign.
  std::swap(c.parameters.temperatures[0], c.parameters.temperatures[1]);
  EXPECT_EQ(entropyChange(c, 0, 0), -0.5f);
}

TEST(EntropyChangeTest, ArithmeticFaultsEndTheRun) {
  struct Case {
    const char* what;
    float mass, t1, t2, field;
    int code;
  };
  const Case cases[] = {
      {"zero mass", 0.0f, 300.0f, 302.0f, 2.0f, 6103},
      {"equal temperatures", 1.0f, 300.0f, 300.0f, 2.0f, 6103},
      // Equal integrals over a zero step: zero divided by zero.
      {"equal temperatures, B = 0", 1.0f, 300.0f, 300.0f, 0.0f, 6101},
      {"tiny mass", 1e-38f, 300.0f, 300.001f, 2.0f, 6104},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Computation computation = twoIsotherms(c.mass, c.t1, c.t2);
    computation.parameters.targetFields[0] = c.field;
    try {
      entropyChange(computation, 0, 0);
      ADD_FAILURE() << "no run-time error";
    } catch (const RunError& error) {
      EXPECT_EQ(error.classLetter(), 'M');
      EXPECT_EQ(error.code(), c.code);
    }
  }
}

TEST(BranchAreaTest, EqualFieldsAtTheCutEndTheRun) {
  // A dropped backward step can leave two equal fields in a row; they only
  // matter when the target field cuts the interval between them.
  EXPECT_EQ(branchArea(branchOf({{0, 0}, {1, 1}, {1, 2}}), 2.0f), 0.5f);
  struct Case {
    float m0, m1;
    int code;
  };
  const Case cases[] = {
      {1.0f, 3.0f, 6103},  // (1 * 1 - 1 * 3) / 0
      {1.0f, 1.0f, 6101},  // (1 * 1 - 1 * 1) / 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    try {
      branchArea(branchOf({{2, c.m0}, {2, c.m1}}), 1.0f);
      ADD_FAILURE() << "no run-time error";
    } catch (const RunError& error) {
      EXPECT_EQ(error.code(), c.code);
    }
  }
}

}  // namespace
}  // namespace korvelin::entropy
