#include "Commands.h"

#include "platform/Bundle.h"

#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

int printUsage() {
    std::fputs(
        "usage: stubforge-driver --version\n"
        "       stubforge-driver sample (--kind KIND | --all-kinds) [--count N] [--seed S]\n"
        "       stubforge-driver generate --ext EXT [--size TEXT] [--pages TEXT] [--content TYPE]\n"
        "                                [--mode \"By Size\"|\"By Pages\"] [--form small|large]\n"
        "                                [--criteria \"By Size\"|\"By Columns\"] [--columns TEXT]\n"
        "                                [--column NAME=KIND]... [--rows TEXT] [--fields TEXT]\n"
        "                                [--field NAME=KIND]... [--seed S]\n"
        "       stubforge-driver csv-header FILE\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // A write past the file-size limit must fail as an error the writers
    // report, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        return printUsage();
    }
    const std::string_view command = argv[1];
    const std::vector<std::string_view> arguments(argv + 2, argv + argc);
    if (command == "--version") {
        const auto& bundle = platform::Bundle::main();
        std::printf("stubforge-driver %s (%s)\n", bundle.shortVersion().c_str(), bundle.buildNumber().c_str());
        return 0;
    }
    if (command == "sample") {
        return driver::runSample(arguments);
    }
    if (command == "generate") {
        return driver::runGenerate(arguments);
    }
    if (command == "csv-header") {
        return driver::runCsvHeader(arguments);
    }
    return printUsage();
}
