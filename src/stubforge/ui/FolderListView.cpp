#include "stubforge/ui/FolderListView.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/Icons.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace stubforge::ui {

FolderListView::FolderListView(MainWindowState& state, platform::UserDefaults& defaults, platform::LogSink& log,
                               QWidget* parent)
    : QListWidget(parent), state_(&state), defaults_(&defaults), log_(&log) {
    setObjectName("folderView");
    setFrameShape(QFrame::NoFrame);
    setIconSize(QSize(16, 16));
    setAlternatingRowColors(true);
    connect(&state, &MainWindowState::reloadFolderViewChanged, this, [this](bool reload) {
        if (reload) {
            this->reload();
        }
    });
    connect(&state, &MainWindowState::layoutChanged, this, &FolderListView::reload);
    reload();
}

void FolderListView::reload() {
    ++reloadCount_;
    clear();
    const std::filesystem::path folder = Utils::outputFolderURL(*defaults_, *log_).folder;
    const FileExtension kind = state_->form().selectedFileExtension;
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::filesystem::path& path = entry->path();
        if (!entry->is_regular_file() || path.filename().string().starts_with('.')) {
            continue;
        }
        const std::string extension = path.extension().string();
        if (kind != FileExtension::showAll && extension != "." + std::string(rawValue(kind))) {
            continue;
        }
        files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        const auto extension = fromRawValue<FileExtension>(path.extension().string().substr(1));
        addItem(new QListWidgetItem(symbolIcon(iconName(extension.value_or(FileExtension::txt))),
                                    QString::fromStdString(path.filename().string())));
    }
}

}  // namespace stubforge::ui
