#pragma once

#include <unicode/uregex.h>
#include <unicode/utext.h>

#include <memory>

// Owners of the ICU regular-expression objects the rules use.
namespace kit::measurement {

struct RegexCloser {
    void operator()(URegularExpression* expression) const { uregex_close(expression); }
};
using RegexHandle = std::unique_ptr<URegularExpression, RegexCloser>;

struct TextCloser {
    void operator()(UText* text) const { utext_close(text); }
};
using TextHandle = std::unique_ptr<UText, TextCloser>;

}  // namespace kit::measurement
