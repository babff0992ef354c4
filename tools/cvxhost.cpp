// cvxhost: the script host. Loads the library as the engine does, binds it
// to an interface table of its own and runs a script file, one export call
// per line, printing each result as the script sees it.
//
//   cvxhost SCRIPT [--library PATH]
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/library_loader.h"
#include "tools/script.h"
#include "tools/script_runner.h"

#ifndef CVX_DEFAULT_LIBRARY
#define CVX_DEFAULT_LIBRARY "libCorvantelix.so"
#endif

int main(int argc, char** argv) {
    std::string script_path;
    std::string library_path = CVX_DEFAULT_LIBRARY;
    if (const char* env = std::getenv("CORVANTELIX_LIBRARY")) library_path = env;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library" && i + 1 < argc) {
            library_path = argv[++i];
        } else if (script_path.empty() && arg.rfind("--", 0) != 0) {
            script_path = arg;
        } else {
            script_path.clear();
            break;
        }
    }
    if (script_path.empty()) {
        std::cerr << "usage: cvxhost SCRIPT [--library PATH]\n";
        return 2;
    }

    std::ifstream file(script_path, std::ios::binary);
    if (!file) {
        std::cerr << script_path << ": cannot open\n";
        return 2;
    }
    std::stringstream source;
    source << file.rdbuf();

    const cvx::script::ParseResult parsed = cvx::script::parse(source.str());
    if (!parsed.ok()) {
        std::cerr << script_path << ":" << parsed.error_line << ": " << parsed.error << "\n";
        return 1;
    }

    cvx::LoadedLibrary library;
    if (!library.open(library_path)) {
        std::cerr << library_path << ": " << library.error() << "\n";
        return 2;
    }
    std::cout.setf(std::ios::unitbuf);
    const int status = cvx::script::run(parsed.statements, library, std::cout, std::cerr);
    if (status != 0) std::cerr << script_path << ": stopped\n";
    return status;
}
