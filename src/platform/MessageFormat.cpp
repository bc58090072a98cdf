#include "platform/MessageFormat.h"

#include <fmt/format.h>

#include <cctype>

namespace platform {

namespace {

struct Conversion {
    std::string fmtSpec;  // fmt's spec for flags, width and precision: "06", "<10", ".2"
    char type = 's';      // the printf conversion character
};

// Reads one printf conversion after its '%' at `at`; returns the position
// after it, or npos when the text ends inside it.
std::size_t readConversion(std::string_view format, std::size_t at, Conversion& conversion) {
    std::string flags;
    while (at < format.size() && std::string_view("-+ 0#").find(format[at]) != std::string_view::npos) {
        flags += format[at++];
    }
    std::string width;
    while (at < format.size() && std::isdigit(static_cast<unsigned char>(format[at])) != 0) {
        width += format[at++];
    }
    std::string precision;
    if (at < format.size() && format[at] == '.') {
        precision = ".";
        ++at;
        while (at < format.size() && std::isdigit(static_cast<unsigned char>(format[at])) != 0) {
            precision += format[at++];
        }
        if (precision == ".") {
            precision = ".0";
        }
    }
    while (at < format.size() && std::string_view("hlqLjzt").find(format[at]) != std::string_view::npos) {
        ++at;  // the argument's own type decides the width
    }
    if (at >= format.size()) {
        return std::string_view::npos;
    }
    conversion.type = format[at];
    std::string spec;
    if (flags.find('-') != std::string::npos) {
        spec += '<';
    }
    if (flags.find('+') != std::string::npos) {
        spec += '+';
    } else if (flags.find(' ') != std::string::npos) {
        spec += ' ';
    }
    if (flags.find('#') != std::string::npos) {
        spec += '#';
    }
    if (flags.find('0') != std::string::npos && flags.find('-') == std::string::npos) {
        spec += '0';
    }
    conversion.fmtSpec = spec + width + precision;
    return at + 1;
}

std::string formatOne(const Conversion& conversion, const MessageArgument& argument) {
    const char type = conversion.type;
    const std::string& spec = conversion.fmtSpec;
    return std::visit(
        [&](const auto& value) -> std::string {
            using Type = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Type, std::string>) {
                // printf puts text on the right of its width unless told otherwise.
                const bool aligned = !spec.empty() && (spec[0] == '<' || spec[0] == '>');
                return fmt::format(fmt::runtime("{:" + (aligned ? spec : ">" + spec) + "}"), value);
            } else if constexpr (std::is_same_v<Type, double>) {
                const std::string floating = std::string_view("fFeEgGaA").find(type) != std::string_view::npos
                                                 ? std::string(1, type)
                                                 : std::string();
                return fmt::format(fmt::runtime("{:" + spec + floating + "}"), value);
            } else {
                std::string integerType;
                if (type == 'x' || type == 'X' || type == 'o') {
                    integerType = std::string(1, type);
                } else if (type == 'c') {
                    return std::string(1, static_cast<char>(value));
                } else if (std::string_view("fFeEgG").find(type) != std::string_view::npos) {
                    return fmt::format(fmt::runtime("{:" + spec + type + "}"), static_cast<double>(value));
                }
                // fmt has no precision for integers; printf's means minimum digits.
                std::string integerSpec = spec;
                if (const auto dot = integerSpec.find('.'); dot != std::string::npos) {
                    integerSpec.erase(dot);
                }
                return fmt::format(fmt::runtime("{:" + integerSpec + integerType + "}"), value);
            }
        },
        argument.value());
}

}  // namespace

std::string formatMessage(std::string_view format, const std::vector<MessageArgument>& arguments) {
    std::string out;
    out.reserve(format.size() + 16 * arguments.size());
    std::size_t next = 0;
    std::size_t at = 0;
    while (at < format.size()) {
        const std::size_t percent = format.find('%', at);
        if (percent == std::string_view::npos) {
            out.append(format.substr(at));
            break;
        }
        out.append(format.substr(at, percent - at));
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            out += '%';
            at = percent + 2;
            continue;
        }
        Conversion conversion;
        const std::size_t end = readConversion(format, percent + 1, conversion);
        if (end == std::string_view::npos) {
            out.append(format.substr(percent));  // a '%' the text ends in stays as written
            break;
        }
        if (next < arguments.size()) {
            try {
                out += formatOne(conversion, arguments[next]);
            } catch (const fmt::format_error&) {
                out += formatOne(Conversion{}, arguments[next]);
            }
        } else {
            out += "(null)";
        }
        ++next;
        at = end;
    }
    return out;
}

}  // namespace platform
