// Runs a parsed script against a loaded library.
#pragma once

#include <iosfwd>
#include <vector>

#include "tools/library_loader.h"
#include "tools/script.h"

namespace cvx::script {

// Prints each call's result as the script sees it, and every string that the
// call changed. Returns 0 when every call ran and every expectation held.
int run(const std::vector<Statement>& statements, const LoadedLibrary& library, std::ostream& out,
        std::ostream& err);

}  // namespace cvx::script
