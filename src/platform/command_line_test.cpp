#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace korvelin::platform {
namespace {

struct Case {
  std::string_view line;
  std::vector<std::string> arguments;
};

TEST(CommandLineTest, SplitsLikeTheCRuntime) {
  const Case kCases[] = {
      {R"(prog)", {}},
      {R"(prog   )", {}},
      {"prog\ta\t b", {"a", "b"}},
      {R"(prog iso300.dat iso305.dat)", {"iso300.dat", "iso305.dat"}},
      // Quotes group blanks and may start or end inside an argument.
      {R"(prog "a b c" d e)", {"a b c", "d", "e"}},
      {R"(prog a\\\b d"e f"g h)", {R"(a\\\b)", "de fg", "h"}},
      // A blank argument survives as blanks; an empty one as empty.
      {R"(prog "   " "")", {"   ", ""}},
      // Backslashes before a quote: pairs halve, an odd one escapes it.
      {R"(prog "ab\"c" "\\" d)", {R"(ab"c)", R"(\)", "d"}},
      {R"(prog a\\\"b c d)", {R"(a\"b)", "c", "d"}},
      {R"(prog a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
      // Backslashes at the end of a path stay.
      {R"(prog C:\data\ x)", {R"(C:\data\)", "x"}},
      // Inside quotes a doubled quote is one quote, and quoting goes on.
      {R"(prog a"b"" c d)", {R"(ab" c d)"}},
      // An unclosed quote runs to the end of the line.
      {R"(prog "a b)", {"a b"}},
      // The program name: quoted up to the next quote whatever it holds,
      // and its backslashes are plain characters.
      {R"("C:\Program Files\k.exe" x)", {"x"}},
      {R"("C:\dir\"x y)", {"y"}},
      {R"(C:\dir\k.exe "a")", {"a"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(splitCommandLine(c.line), c.arguments);
  }
}

}  // namespace
}  // namespace korvelin::platform
