#include "sham/Generators.h"
#include "sham/LocaleKeys.h"

namespace sham {

std::string Car::brand() { return fetch(keys::carBrand); }

std::string Cat::name() { return fetch(keys::catName); }
std::string Cat::breed() { return fetch(keys::catBreed); }
std::string Cat::registry() { return fetch(keys::catRegistry); }

std::string Ham::name() { return fetch(keys::hamName); }

std::string Hobbit::character() { return fetch(keys::hobbitCharacter); }
std::string Hobbit::thorinsCompany() { return fetch(keys::hobbitThorinsCompany); }
std::string Hobbit::quote() { return fetch(keys::hobbitQuote); }
std::string Hobbit::location() { return fetch(keys::hobbitLocation); }

std::string House::furniture() { return fetch(keys::houseFurniture); }
std::string House::room() { return fetch(keys::houseRoom); }

std::string ProgrammingLanguage::name() { return fetch(keys::programmingLanguageName); }
std::string ProgrammingLanguage::creator() { return fetch(keys::programmingLanguageCreator); }

std::string Team::name() { return fetch(keys::teamName); }
std::string Team::creature() { return fetch(keys::teamCreature); }

std::string Team::state() {
    std::string state = fetch(keys::addressState);
    bool wordStart = true;
    for (char& character : state) {
        if (character == ' ' || character == '\t' || character == '\n' || character == '\r') {
            wordStart = true;
            continue;
        }
        if (wordStart && character >= 'a' && character <= 'z') {
            character = static_cast<char>(character - 'a' + 'A');
        } else if (!wordStart && character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
        wordStart = false;
    }
    return state;
}

std::string Vehicle::manufacture() { return fetch(keys::vehicleManufacture); }
std::string Vehicle::make() { return fetch(keys::vehicleMakes); }
std::string Vehicle::color() { return fetch(keys::vehicleColors); }

std::string Zelda::game() { return fetch(keys::zeldaGame); }

}  // namespace sham
