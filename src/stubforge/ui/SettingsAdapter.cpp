#include "stubforge/ui/SettingsAdapter.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/Texts.h"

#include <QMetaObject>

#include <array>

namespace stubforge::ui {

namespace {

const std::array<std::string_view, 5> kObservedKeys = {
    texts::kStayOnTopKey,
    texts::kIsDarkModeKey,
    kUseCustomFolderKey,
    kCustomFolderPathKey,
    texts::kFolderViewReloadTriggerKey,
};

}  // namespace

SettingsAdapter::SettingsAdapter(platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(&defaults) {
    for (const std::string_view key : kObservedKeys) {
        observations_.push_back(
            defaults.observe(std::string(key), [this](const std::string& changed, const platform::Value*) {
                // Observers run on whichever thread made or noticed the change;
                // readers of these signals touch widgets, so hop to ours. The
                // queued call is dropped if this object is gone by then.
                QMetaObject::invokeMethod(
                    this, [this, changed] { announce(changed); }, Qt::QueuedConnection);
            }));
    }
}

SettingsAdapter::~SettingsAdapter() {
    // Once reset, no observer call runs or starts, so none can post to a
    // half-destroyed object.
    for (auto& observation : observations_) {
        observation.reset();
    }
}

void SettingsAdapter::announce(const std::string& key) {
    if (key == texts::kStayOnTopKey) {
        emit stayOnTopChanged(stayOnTop());
    } else if (key == texts::kIsDarkModeKey) {
        emit isDarkModeChanged(isDarkMode());
    } else if (key == kUseCustomFolderKey) {
        emit useCustomFolderChanged(useCustomFolder());
    } else if (key == kCustomFolderPathKey) {
        emit customFolderPathChanged(customFolderPath());
    } else if (key == texts::kFolderViewReloadTriggerKey) {
        emit folderViewReloadTriggerChanged(folderViewReloadTrigger());
    }
}

bool SettingsAdapter::stayOnTop() const { return defaults_->boolForKey(texts::kStayOnTopKey); }
void SettingsAdapter::setStayOnTop(bool on) { defaults_->set(texts::kStayOnTopKey, platform::Value(on)); }
bool SettingsAdapter::isDarkMode() const { return defaults_->boolForKey(texts::kIsDarkModeKey); }
void SettingsAdapter::setDarkMode(bool on) { defaults_->set(texts::kIsDarkModeKey, platform::Value(on)); }
bool SettingsAdapter::useCustomFolder() const { return defaults_->boolForKey(kUseCustomFolderKey); }
void SettingsAdapter::setUseCustomFolder(bool on) { defaults_->set(kUseCustomFolderKey, platform::Value(on)); }

QString SettingsAdapter::customFolderPath() const {
    return QString::fromStdString(defaults_->stringForKey(kCustomFolderPathKey).value_or(""));
}

void SettingsAdapter::setCustomFolderPath(const QString& path) {
    defaults_->set(kCustomFolderPathKey, platform::Value(path.toStdString()));
}

bool SettingsAdapter::folderViewReloadTrigger() const {
    return defaults_->boolForKey(texts::kFolderViewReloadTriggerKey);
}

void SettingsAdapter::flipFolderViewReloadTrigger() {
    defaults_->set(texts::kFolderViewReloadTriggerKey, platform::Value(!folderViewReloadTrigger()));
}

}  // namespace stubforge::ui
