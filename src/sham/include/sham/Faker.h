#pragma once

#include "sham/Config.h"
#include "sham/Generators.h"
#include "sham/Parser.h"

#include "platform/Clock.h"
#include "platform/Random.h"

#include <memory>
#include <string>
#include <string_view>

namespace sham {

// The engine's front object: a locale, one shared parser and the value
// generators, all reading the locale files its Config names. `Number` and
// `Date` read from parsers of their own for "en", whatever the locale. Not
// for use by two threads at once, except `number().increasingUniqueId()`.
class Faker {
public:
    // Reads locale files where `config` says and draws from a source of its
    // own on the operating system's generator.
    Faker(std::string_view locale, const Config& config);
    // Draws from `random`, which must outlive the Faker; tests and `--seed`
    // pass a seeded one.
    Faker(std::string_view locale, const Config& config, platform::RandomSource& random,
          const platform::Clock& clock = platform::systemClock());
    ~Faker();

    Faker(Faker&&) noexcept;
    Faker& operator=(Faker&&) noexcept;

    const std::string& locale() const;
    // Every generator on the shared parser sees the new locale at its next call.
    void setLocale(std::string_view locale);

    Address& address();
    App& app();
    Zelda& zelda();
    Business& business();
    Cat& cat();
    Company& company();
    Commerce& commerce();
    Gender& gender();
    Internet& internet();
    Lorem& lorem();
    Name& name();
    PhoneNumber& phoneNumber();
    Team& team();
    Number& number();
    Bank& bank();
    Date& date();
    Hobbit& hobbit();
    Car& car();
    ProgrammingLanguage& programmingLanguage();
    Vehicle& vehicle();
    Ham& ham();
    House& house();
    Parser& parser();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sham
