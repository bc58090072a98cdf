#include "kit/core/MainBundle.h"

#include "kit/core/KitContext.h"

namespace kit {

namespace {

struct MainBundleService {
    const platform::Bundle bundle{platform::mainResourceDirectory()};
};

struct StandardDefaultsService {
    platform::UserDefaults defaults{platform::UserDefaults::standardSuiteName(mainBundle())};
};

}  // namespace

const platform::Bundle& mainBundle() { return KitContext::current().service<MainBundleService>().bundle; }

platform::UserDefaults& standardDefaults() { return KitContext::current().service<StandardDefaultsService>().defaults; }

}  // namespace kit
