// The command line of korvelin-prep, apart from main() so that tests can
// run it with captured streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace prep {

/// Exit status: 0 all is well (check: no problem found; convert: files
/// written), 1 a problem was found or an input or output failed, 2 the
/// command line was wrong.
int runPrep(const std::vector<std::string>& args, std::ostream& out,
            std::ostream& err);

}  // namespace prep
