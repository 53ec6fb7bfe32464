// tovrin-sql: runs SQL on Adaptive Server through the Tovrin5 components (see --help).
#include <cstdlib>
#include <iostream>

#include "Options.h"
#include "Tool.h"

int main(int argc, char** argv) {
    using namespace tovrin::sqltool;
    ParsedCommandLine parsed;
    try {
        parsed = parseCommandLine(argc, argv, std::getenv("DSQUERY"));
    } catch (const UsageError& e) {
        scrubPasswordArgument(argc, argv);
        std::cerr << "tovrin-sql: " << e.what() << "\n(run tovrin-sql --help for the options)"
                  << std::endl;
        return kExitUsage;
    }
    scrubPasswordArgument(argc, argv);
    if (parsed.exitText) {
        std::cout << *parsed.exitText;
        return kExitOk;
    }
    return runTool(parsed.options, std::cin, std::cout, std::cerr);
}
