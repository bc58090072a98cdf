#include "Output.h"

#include "stubforge/core/ColumnDataType.h"
#include "stubforge/core/Options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace driver {

namespace {

constexpr std::string_view kGenerateUsage =
    "usage: stubforge-driver generate --ext EXT [--size TEXT] [--pages TEXT] [--content TYPE]\n"
    "                                [--mode MODE] [--form FORM] [--criteria CRITERIA]\n"
    "                                [--columns TEXT] [--column NAME=KIND]... [--rows TEXT]\n"
    "                                [--fields TEXT] [--field NAME=KIND]... [--seed S]\n"
    "  Fills the generation form as the window would, generates one file and\n"
    "  prints its path.\n";
constexpr std::string_view kSampleUsage =
    "usage: stubforge-driver sample (--kind KIND | --all-kinds) [--count N] [--seed S]\n"
    "  Prints values of the column value kinds as the JSON writer draws them,\n"
    "  one JSON text per line.\n";
constexpr std::string_view kCsvHeaderUsage =
    "usage: stubforge-driver csv-header FILE\n"
    "  Prints the column names the CSV template import takes from FILE as a\n"
    "  JSON array.\n";
constexpr std::string_view kDriverUsage =
    "usage: stubforge-driver --version\n"
    "       stubforge-driver --help\n"
    "       stubforge-driver COMMAND --help\n"
    "stubforge-driver runs the generation form's checks and writers without a\n"
    "window, for tests and scripts. Each command prints its result, and only\n"
    "its result, on standard output; messages go to standard error.\n\n";

template <typename Option>
void appendNames(std::string& text, std::string_view heading, bool (*shown)(Option) = nullptr) {
    text += '\n';
    text += heading;
    text += ":\n";
    for (const Option option : stubforge::allCases<Option>()) {
        if (shown == nullptr || shown(option)) {
            text += "  ";
            text += stubforge::rawValue(option);
            text += '\n';
        }
    }
}

void appendGenerateNames(std::string& text) {
    // "all" is a filter of the window's list, not a kind of file to make.
    appendNames<stubforge::FileExtension>(text, "Extensions (--ext)", [](stubforge::FileExtension extension) {
        return extension != stubforge::FileExtension::showAll;
    });
    appendNames<stubforge::ContentType>(text, "Contents (--content)");
    appendNames<stubforge::PDFGenerationMode>(text, "Modes (--mode)");
    appendNames<stubforge::ContentSize>(text, "Forms (--form)");
    appendNames<stubforge::CSVCriteria>(text, "Criteria (--criteria)");
}

void appendKinds(std::string& text) {
    appendNames<stubforge::CSVColumnDataType>(text, "Value kinds (--kind, --column NAME=KIND, --field NAME=KIND)");
}

}  // namespace

int writeResult(std::string_view text) {
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
    if (written == text.size() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return 0;
    }
    const int reason = errno;
    std::fprintf(stderr, "stubforge-driver: could not write the result: %s\n", std::strerror(reason));
    return 1;
}

int complain(std::string_view line, int status) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    return status;
}

std::string usage(std::string_view command, bool withNames) {
    std::string text;
    if (command == "generate") {
        text = kGenerateUsage;
        if (withNames) {
            appendGenerateNames(text);
            appendKinds(text);
        }
    } else if (command == "sample") {
        text = kSampleUsage;
        if (withNames) {
            appendKinds(text);
        }
    } else if (command == "csv-header") {
        text = kCsvHeaderUsage;
    } else {
        text = kDriverUsage;
        text += kGenerateUsage;
        text += '\n';
        text += kSampleUsage;
        text += '\n';
        text += kCsvHeaderUsage;
        if (withNames) {
            appendGenerateNames(text);
            appendKinds(text);
        }
    }
    return text;
}

int usageError(std::string_view command) {
    const std::string text = usage(command, false);
    std::fputs(text.c_str(), stderr);
    std::fputs("Run with --help for the names each option accepts.\n", stderr);
    return 2;
}

}  // namespace driver
