#pragma once

#include "stubforge/core/Options.h"

#include <QWidget>

class QListWidget;
class QListWidgetItem;
class QToolButton;

namespace stubforge::ui {

// The file kinds by section, and the footer with the feedback button and
// the version.
class Sidebar final : public QWidget {
    Q_OBJECT
public:
    Sidebar(const QString& versionText, QWidget* parent = nullptr);

    void select(FileExtension extension);
    FileExtension selected() const;
    QListWidget* list() const { return list_; }

signals:
    void selectionChanged(FileExtension extension);
    void feedbackRequested();

private:
    QListWidget* list_;
};

}  // namespace stubforge::ui
