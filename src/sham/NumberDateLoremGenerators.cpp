#include "sham/Generators.h"
#include "sham/LocaleKeys.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>
#include <limits>

namespace sham {

namespace {

constexpr int wordsPerSentence = 4;
constexpr int sentencesPerParagraph = 3;

void capitaliseFirst(std::string& text, std::size_t at) {
    if (at < text.size() && text[at] >= 'a' && text[at] <= 'z') {
        text[at] = static_cast<char>(text[at] - 'a' + 'A');
    }
}

// Time points count nanoseconds, so they span only some centuries; shifted
// dates stay inside that span rather than wrap.
platform::TimePoint clampedTimePoint(long double nanoseconds) {
    using Rep = platform::TimePoint::duration::rep;
    constexpr auto lowest = static_cast<long double>(std::numeric_limits<Rep>::min());
    constexpr auto highest = static_cast<long double>(std::numeric_limits<Rep>::max());
    if (!(nanoseconds > lowest)) {
        return platform::TimePoint::min();
    }
    if (!(nanoseconds < highest)) {
        return platform::TimePoint::max();
    }
    return platform::TimePoint(platform::TimePoint::duration(static_cast<Rep>(nanoseconds)));
}

int clampedAdd(int base, long long shift) {
    const long long sum = static_cast<long long>(base) + shift;
    return static_cast<int>(std::clamp<long long>(sum, INT_MIN / 2, INT_MAX / 2));
}

int daysInMonth(int yearSince1900, int monthFromZero) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const long long year = 1900LL + yearSince1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return monthFromZero == 1 && leap ? 29 : days[monthFromZero];
}

// Calendar arithmetic in local time: the same wall-clock time so many days
// or years away; a year shift from 29 February lands on the 28th.
platform::TimePoint shiftedLocal(platform::TimePoint now, long long days, long long years) {
    if (days == 0 && years == 0) {
        return now;
    }
    const std::time_t base = std::chrono::system_clock::to_time_t(now);
    std::tm parts = platform::localTime(now);
    parts.tm_year = clampedAdd(parts.tm_year, years);
    if (years != 0) {
        parts.tm_mday = std::min(parts.tm_mday, daysInMonth(parts.tm_year, parts.tm_mon));
    }
    parts.tm_mday = clampedAdd(parts.tm_mday, days);
    parts.tm_isdst = -1;
    long double shiftSeconds = 0;
    const std::time_t target = std::mktime(&parts);
    if (target == static_cast<std::time_t>(-1)) {
        shiftSeconds = static_cast<long double>(days) * 86400.0L + static_cast<long double>(years) * 31556952.0L;
    } else {
        shiftSeconds = static_cast<long double>(target) - static_cast<long double>(base);
    }
    return clampedTimePoint(static_cast<long double>(now.time_since_epoch().count()) + shiftSeconds * 1e9L);
}

}  // namespace

std::string Lorem::word() { return fetch(keys::loremWords); }

void Lorem::appendWords(std::string& out, int amount) {
    const platform::Value* words = parser().lookupWithFallback(keys::loremWords);
    for (int index = 0; index < amount; ++index) {
        if (index > 0) {
            out += ' ';
        }
        if (words != nullptr) {
            parser().appendValue(out, *words, Parser::subjectOf(keys::loremWords));
        }
    }
}

std::string Lorem::words(int amount) {
    std::string text;
    appendWords(text, amount);
    return text;
}

std::string Lorem::character() { return randomLowercaseLetters(random(), 1); }
std::string Lorem::characters(int amount) { return randomLowercaseLetters(random(), amount); }

std::string Lorem::sentence(int wordsAmount) {
    std::string text;
    appendWords(text, wordsAmount);
    text += '.';
    capitaliseFirst(text, 0);
    return text;
}

void Lorem::appendSentences(std::string& out, int amount) {
    for (int index = 0; index < amount; ++index) {
        if (index > 0) {
            out += ' ';
        }
        const std::size_t start = out.size();
        appendWords(out, wordsPerSentence);
        out += '.';
        capitaliseFirst(out, start);
    }
}

std::string Lorem::sentences(int amount) {
    std::string text;
    appendSentences(text, amount);
    return text;
}

std::string Lorem::paragraph(int sentencesAmount) { return sentences(sentencesAmount); }

std::string Lorem::paragraphs(int amount) {
    std::string text;
    for (int index = 0; index < amount; ++index) {
        if (index > 0) {
            text += '\n';
        }
        appendSentences(text, sentencesPerParagraph);
    }
    return text;
}

std::int64_t Number::randomInt(std::int64_t min, std::int64_t max) {
    if (max <= min) {
        return min;
    }
    // Unsigned arithmetic wraps where the signed difference would overflow.
    const std::uint64_t span = static_cast<std::uint64_t>(max) - static_cast<std::uint64_t>(min);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(min) + random().below(span));
}

namespace {

// min + (max - min) * fraction for a fraction in [0, 1): a value from min up
// to but not reaching max, whichever of the two is larger. Ends that are not
// finite numbers give no range and answer min; finite ends too far apart
// for their width to be finite are mixed instead.
template <typename Real>
Real realBetween(Real min, Real max, Real fraction) {
    if (!std::isfinite(min) || !std::isfinite(max)) {
        return min;
    }
    const Real width = max - min;
    const Real value = std::isfinite(width) ? min + width * fraction : min * (1 - fraction) + max * fraction;
    // Rounding can land on max itself.
    const bool reachesMax = max > min ? !(value < max) : !(value > max);
    return reachesMax ? std::nextafter(max, min) : value;
}

}  // namespace

double Number::randomDouble(double min, double max) { return realBetween(min, max, random().unit()); }

float Number::randomFloat(float min, float max) {
    return realBetween(min, max, static_cast<float>(random().next() >> 40) * 0x1.0p-24f);
}

double Number::randomDoubleFromUInt32(double min, double max) {
    const auto word = static_cast<std::uint32_t>(random().next() >> 32);
    const float fraction = static_cast<float>(word) * 0x1.0p-32f;
    return min + (max - min) * static_cast<double>(fraction);
}

bool Number::randomBool() { return random().below(2) == 0; }

std::int64_t Number::increasingUniqueId() { return lastUsedId_.fetch_add(1, std::memory_order_relaxed) + 1; }

platform::TimePoint Date::daysAgo(int days) { return shiftedLocal(clock_->now(), -static_cast<long long>(days), 0); }

platform::TimePoint Date::daysAhead(int days) { return shiftedLocal(clock_->now(), days, 0); }

platform::TimePoint Date::between(platform::TimePoint from, platform::TimePoint to) {
    const auto fromCount = static_cast<long double>(from.time_since_epoch().count());
    const auto toCount = static_cast<long double>(to.time_since_epoch().count());
    const auto fraction = static_cast<long double>(random().unit());
    return clampedTimePoint(fromCount + (toCount - fromCount) * fraction);
}

platform::TimePoint Date::betweenYearsAgo(int firstYears, int secondYears) {
    const platform::TimePoint now = clock_->now();
    return between(shiftedLocal(now, 0, -static_cast<long long>(firstYears)),
                   shiftedLocal(now, 0, -static_cast<long long>(secondYears)));
}

}  // namespace sham
