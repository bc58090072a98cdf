#include "stubforge/ui/Sidebar.h"

#include "stubforge/ui/Icons.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <initializer_list>

namespace stubforge::ui {

namespace {

struct Section {
    std::string_view header;
    std::initializer_list<FileExtension> rows;
};

const std::array<Section, 7> kSections = {{
    {"Locations", {FileExtension::showAll}},
    {"Documents",
     {FileExtension::csv, FileExtension::pdf, FileExtension::json, FileExtension::txt, FileExtension::docx,
      FileExtension::pptx, FileExtension::xlsx}},
    {"Pictures", {FileExtension::jpg, FileExtension::png}},
    {"Audios", {FileExtension::mp3, FileExtension::wav}},
    {"Videos", {FileExtension::mp4}},
    {"Archives", {FileExtension::zip, FileExtension::rar}},
    {"3D Models", {FileExtension::usdz}},
}};

constexpr int kExtensionRole = Qt::UserRole + 1;

}  // namespace

Sidebar::Sidebar(const QString& versionText, QWidget* parent) : QWidget(parent) {
    setObjectName("sidebar");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    list_ = new QListWidget(this);
    list_->setObjectName("fileKindList");
    list_->setFrameShape(QFrame::NoFrame);
    list_->setIconSize(QSize(16, 16));
    for (const Section& section : kSections) {
        auto* header = new QListWidgetItem(qt(section.header), list_);
        header->setFlags(Qt::NoItemFlags);
        QFont font = footnoteFont(list_->font());
        font.setBold(true);
        header->setFont(font);
        header->setSizeHint(QSize(0, 26));
        for (const FileExtension extension : section.rows) {
            const QString title =
                extension == FileExtension::showAll ? qt(texts::kAllMyFiles) : qt(rawValue(extension));
            auto* item = new QListWidgetItem(symbolIcon(iconForFileKind(extension)), title, list_);
            item->setData(kExtensionRole, static_cast<int>(extension));
        }
    }
    layout->addWidget(list_);

    auto* footer = new QWidget(this);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(4, 4, 4, 4);
    footerLayout->addStretch();
    auto* feedback = new QToolButton(footer);
    feedback->setObjectName("feedbackButton");
    feedback->setIcon(symbolIcon(Icon::envelope));
    feedback->setIconSize(QSize(14, 14));
    footerLayout->addWidget(feedback);
    auto* version = new QLabel(versionText, footer);
    version->setObjectName("versionText");
    version->setFont(footnoteFont(version->font()));
    version->setForegroundRole(QPalette::PlaceholderText);
    footerLayout->addWidget(version);
    footerLayout->addStretch();
    layout->addWidget(footer);

    connect(feedback, &QToolButton::clicked, this, &Sidebar::feedbackRequested);
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        if (current != nullptr) {
            emit selectionChanged(static_cast<FileExtension>(current->data(kExtensionRole).toInt()));
        }
    });
}

void Sidebar::select(FileExtension extension) {
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        if (item->flags() != Qt::NoItemFlags && item->data(kExtensionRole).toInt() == static_cast<int>(extension)) {
            list_->setCurrentItem(item);
            return;
        }
    }
}

FileExtension Sidebar::selected() const {
    const QListWidgetItem* item = list_->currentItem();
    return item != nullptr ? static_cast<FileExtension>(item->data(kExtensionRole).toInt()) : FileExtension::pdf;
}

}  // namespace stubforge::ui
