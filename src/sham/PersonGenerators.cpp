#include "sham/Generators.h"
#include "sham/LocaleKeys.h"

#include "Texts.h"

#include <algorithm>
#include <cmath>

namespace sham {

namespace {

// Draws in a row that bring no new department before the data counts as
// used up; with a few dozen departments a miss streak this long does not
// happen by chance.
constexpr int maximumFruitlessDraws = 256;

}  // namespace

std::string Name::name() { return fetch(keys::nameName); }
std::string Name::firstName() { return fetch(keys::nameFirstName); }
std::string Name::lastName() { return fetch(keys::nameLastName); }
std::string Name::prefix() { return fetch(keys::namePrefix); }
std::string Name::suffix() { return fetch(keys::nameSuffix); }

std::string Name::title() {
    std::string title = fetch(keys::nameTitleDescriptor);
    title += ' ';
    parser().appendFetch(title, keys::nameTitleLevel);
    title += ' ';
    parser().appendFetch(title, keys::nameTitleJob);
    return title;
}

std::string Company::name() { return fetch(keys::companyName); }
std::string Company::suffix() { return fetch(keys::companySuffix); }
std::string Company::catchPhrase() { return joinedRandomWords(keys::companyBuzzwords); }
std::string Company::bs() { return joinedRandomWords(keys::companyBs); }

std::string Company::logo() {
    std::string logo(texts::secureScheme);
    logo += texts::logoHost;
    logo += texts::logoPath;
    logo += std::to_string(1 + random().below(texts::logoCount));
    logo += texts::logoExtension;
    return logo;
}

std::string Commerce::color() { return fetch(keys::commerceColor); }

std::string Commerce::department(int maximum, bool fixedAmount) {
    int count = maximum;
    if (!fixedAmount) {
        count = maximum < 1 ? 0 : 1 + static_cast<int>(random().below(static_cast<std::uint64_t>(maximum)));
    }
    const std::vector<std::string> departments = distinctDepartments(count);
    return joinDepartments(departments);
}

std::vector<std::string> Commerce::distinctDepartments(int count) {
    std::vector<std::string> departments;
    if (count < 1) {
        return departments;
    }
    const platform::Value* value = parser().lookupWithFallback(keys::commerceDepartment);
    int fruitless = 0;
    while (static_cast<int>(departments.size()) < count && fruitless < maximumFruitlessDraws) {
        std::string department;
        if (value != nullptr) {
            parser().appendValue(department, *value, Parser::subjectOf(keys::commerceDepartment));
        }
        if (std::find(departments.begin(), departments.end(), department) == departments.end()) {
            departments.push_back(std::move(department));
            fruitless = 0;
        } else {
            ++fruitless;
        }
    }
    return departments;
}

std::string Commerce::joinDepartments(std::span<const std::string> departments) {
    std::string joined;
    if (departments.empty()) {
        return joined;
    }
    for (std::size_t index = 0; index + 1 < departments.size(); ++index) {
        if (index > 0) {
            joined += ", ";
        }
        joined += departments[index];
    }
    if (departments.size() > 1) {
        parser().appendFetch(joined, keys::separator);
    }
    joined += departments.back();
    return joined;
}

std::string Commerce::productName() {
    std::string product = fetch(keys::commerceProductNameAdjective);
    product += ' ';
    parser().appendFetch(product, keys::commerceProductNameMaterial);
    product += ' ';
    parser().appendFetch(product, keys::commerceProductNameProduct);
    return product;
}

double Commerce::price() {
    const double draw = static_cast<double>(random().below(4294967295ULL));
    return std::floor(draw / 4294967296.0 * 100.0 * 100.0) / 100.0;
}

std::string App::name() { return fetch(keys::appName); }
std::string App::version() { return numerify(fetch(keys::appVersion)); }
std::string App::author() { return fetch(keys::appAuthor); }

std::string Gender::type() { return fetch(keys::genderType); }
std::string Gender::binaryType() { return fetch(keys::genderBinaryType); }

}  // namespace sham
