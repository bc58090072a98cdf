#include "sham/Faker.h"

namespace sham {

struct Faker::State {
    State(std::string_view localeName, const Config& config, platform::RandomSource* given,
          const platform::Clock& clock)
        : ownRandom(given == nullptr ? std::make_unique<platform::SystemRandom>() : nullptr),
          random(given != nullptr ? *given : *ownRandom),
          locale(localeName),
          parser(localeName, random, config),
          address(parser, random),
          app(parser, random),
          zelda(parser, random),
          business(parser, random),
          cat(parser, random),
          company(parser, random),
          commerce(parser, random),
          gender(parser, random),
          internet(parser, random),
          lorem(parser, random),
          name(parser, random),
          phoneNumber(parser, random),
          team(parser, random),
          numberParser(Config::defaultLocale, random, config),
          number(numberParser, random),
          bank(parser, random),
          dateParser(Config::defaultLocale, random, config),
          date(dateParser, random, clock),
          hobbit(parser, random),
          car(parser, random),
          programmingLanguage(parser, random),
          vehicle(parser, random),
          ham(parser, random),
          house(parser, random) {}

    // A source of its own rather than the thread's: the Faker may be handed
    // to another thread, and the thread that made it may end first.
    std::unique_ptr<platform::SystemRandom> ownRandom;
    platform::RandomSource& random;
    std::string locale;
    Parser parser;
    Address address;
    App app;
    Zelda zelda;
    Business business;
    Cat cat;
    Company company;
    Commerce commerce;
    Gender gender;
    Internet internet;
    Lorem lorem;
    Name name;
    PhoneNumber phoneNumber;
    Team team;
    Parser numberParser;
    Number number;
    Bank bank;
    Parser dateParser;
    Date date;
    Hobbit hobbit;
    Car car;
    ProgrammingLanguage programmingLanguage;
    Vehicle vehicle;
    Ham ham;
    House house;
};

Faker::Faker(std::string_view locale, const Config& config)
    : state_(std::make_unique<State>(locale, config, nullptr, platform::systemClock())) {}

Faker::Faker(std::string_view locale, const Config& config, platform::RandomSource& random,
             const platform::Clock& clock)
    : state_(std::make_unique<State>(locale, config, &random, clock)) {}

Faker::~Faker() = default;
Faker::Faker(Faker&&) noexcept = default;
Faker& Faker::operator=(Faker&&) noexcept = default;

const std::string& Faker::locale() const { return state_->locale; }

void Faker::setLocale(std::string_view locale) {
    state_->locale = std::string(locale);
    state_->parser.setLocale(locale);
}

Address& Faker::address() { return state_->address; }
App& Faker::app() { return state_->app; }
Zelda& Faker::zelda() { return state_->zelda; }
Business& Faker::business() { return state_->business; }
Cat& Faker::cat() { return state_->cat; }
Company& Faker::company() { return state_->company; }
Commerce& Faker::commerce() { return state_->commerce; }
Gender& Faker::gender() { return state_->gender; }
Internet& Faker::internet() { return state_->internet; }
Lorem& Faker::lorem() { return state_->lorem; }
Name& Faker::name() { return state_->name; }
PhoneNumber& Faker::phoneNumber() { return state_->phoneNumber; }
Team& Faker::team() { return state_->team; }
Number& Faker::number() { return state_->number; }
Bank& Faker::bank() { return state_->bank; }
Date& Faker::date() { return state_->date; }
Hobbit& Faker::hobbit() { return state_->hobbit; }
Car& Faker::car() { return state_->car; }
ProgrammingLanguage& Faker::programmingLanguage() { return state_->programmingLanguage; }
Vehicle& Faker::vehicle() { return state_->vehicle; }
Ham& Faker::ham() { return state_->ham; }
House& Faker::house() { return state_->house; }
Parser& Faker::parser() { return state_->parser; }

}  // namespace sham
