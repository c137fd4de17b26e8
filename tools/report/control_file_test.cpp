#include "control_file.h"

#include <gtest/gtest.h>

#include <string>

namespace korvelin::report {
namespace {

TEST(ControlFileTest, ReadsMassAndFieldsTheWayKorvelinDoes) {
  struct Case {
    const char* name;
    std::string bytes;
    double mass;
    std::vector<double> fields;
  };
  const Case cases[] = {
      {"the example's layout",
       "0.0123\r\n5 1\r\n1.0 2.0 3.0 4.0 5.0\r\n270.0\r\ngd_270.0K.dat\r\n",
       0.0123, {1.0, 2.0, 3.0, 4.0, 5.0}},
      {"remarks after the values, fields over two lines",
       "0.5 ! mass in g\n3 -1 count, falling\n1.0 2.0\n\n5.0 ignored\n", 0.5,
       {1.0, 2.0, 5.0}},
      {"commas, a null mass and blank lines first", "\n\n,\n2,1\n1.0,,\n",
       0.0, {1.0, 0.0}},
      {"repeats, exponents of both kinds and a slash",
       "1.5D-2\n4 1\n2*1.0 5.+0/ 9\n", 0.015, {1.0, 1.0, 5.0, 0.0}},
      {"no fields: record 3 is not needed", "1\n0 1\n", 1.0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControlFile control = parseControlFile(c.bytes);
    EXPECT_DOUBLE_EQ(control.mass, c.mass);
    ASSERT_EQ(control.fields.size(), c.fields.size());
    for (std::size_t j = 0; j < c.fields.size(); ++j) {
      EXPECT_DOUBLE_EQ(control.fields[j], c.fields[j]);
    }
  }
}

TEST(ControlFileTest, RejectsWhatKorvelinWouldStopOn) {
  struct Case {
    const char* name;
    std::string bytes;
    int line, column;
    const char* message;
  };
  const Case cases[] = {
      {"byte-order mark before the mass", "\xEF\xBB\xBF" "0.5\n2 1\n1 2\n",
       1, 1, "sample mass is not a number"},
      {"mass glued to a remark", "0.5!g\n2 1\n1 2\n", 1, 1,
       "sample mass is not a number"},
      {"real field count", "0.5\n2.0 1\n1 2\n", 2, 1, "not an integer"},
      {"file ends in the field list", "0.5\n3 1\n1.0 2.0\n", 3, 8,
       "end of file"},
      {"bad field", "0.5\n2 1\n1.0 2.5T\n", 3, 5, "target field is not"},
      {"too many fields", "0.5\n21 1\n", 2, 1, "more than 20"},
      {"zero repeat count", "0.5\n2 1\n0*1.0\n", 3, 1, "repeat count"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      (void)parseControlFile(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const InputError& error) {
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(error.column(), c.column);
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

TEST(ControlFileTest, FieldsMustMatchTheTableHeading) {
  ResultTable table;
  table.fields = {0.13, 2.67, std::nullopt};
  // 0.125 shows as .13 and 2.675 as 2.67 (rounded from single precision);
  // 150 T does not fit F5.2.
  ControlFile good = parseControlFile("1\n3 1\n0.125 2.675 150\n");
  EXPECT_EQ(reconcileFields(good, table),
            (std::vector<double>{0.125, 2.675, 150.0}));

  struct Case {
    const char* name;
    const char* bytes;
    int line, column;
    const char* message;
  };
  const Case cases[] = {
      {"field count differs", "1\n2 1\n0.125 2.675\n", 2, 1,
       "names 2 target field(s) but the table has 3"},
      {"a field differs", "1\n3 1\n0.125   2.69 150\n", 3, 9,
       "target field 2 (2.69 T) does not match the table heading (2.67)"},
      {"a hidden field that would fit", "1\n3 1\n0.125 2.675 99.9\n", 3, 13,
       "heading (*****)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      (void)reconcileFields(parseControlFile(c.bytes), table);
      ADD_FAILURE() << "no error";
    } catch (const InputError& error) {
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(error.column(), c.column);
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
}  // namespace korvelin::report
