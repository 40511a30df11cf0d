// rowsifter-cli: the duplicate-removal engine without windows, for scripts and large tables.
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/outcome.h"
#include "cli/run.h"
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    cli::Options options;
    try {
        options = cli::parseOptions({argv + 1, argv + argc});
    } catch (const cli::UsageError& error) {
        // With --json, standard output holds one JSON object whatever happens.
        for (int i = 1; i < argc; ++i)
            if (std::string(argv[i]) == "--json")
                std::cout << "{\"ok\": false, \"error\": " << cli::text::jsonString(error.message) << "}" << std::endl;
        std::cerr << "rowsifter-cli: " << error.message << "\n" << cli::text::kTryHelp << "\n";
        return cli::kExitUsage;
    }
    if (options.help) {
        std::cout << cli::text::kHelp;
        return cli::kExitOk;
    }
    if (options.version) {
        std::cout << cli::text::version() << "\n";
        return cli::kExitOk;
    }
    try {
        return cli::run(options);
    } catch (const std::exception& error) {
        if (options.json)
            std::cout << "{\"ok\": false, \"error\": " << cli::text::jsonString(error.what()) << "}" << std::endl;
        else
            std::cerr << "rowsifter-cli: " << error.what() << "\n";
        return cli::kExitFailed;
    }
}
