#pragma once

#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/RowsTableModel.h"

#include "platform/Log.h"

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace stubforge::ui {

class RowsTableView;

// Asks the user for a CSV template; an empty path when they cancel.
using TemplateChooser = std::function<QString(QWidget* parent)>;

// The template import's file chooser, and the log its failures go to
// besides the panel.
struct TemplateImport {
    TemplateChooser choose;
    platform::LogSink* log = nullptr;
};

// The CSV column editor: the table, the template import with its help
// tooltip, and "Add column".
class CSVColumnConfigurationView final : public QWidget {
    Q_OBJECT
public:
    CSVColumnConfigurationView(MainWindowState& state, TemplateImport templateImport, QWidget* parent = nullptr);

    // Imports the header of the CSV file at `path` as the columns. On
    // failure the rows stay and the reason shows under the buttons.
    void importTemplate(const QString& path);

private:
    void updateButtons();

    MainWindowState* state_;
    TemplateImport templateImport_;
    RowsTableModel model_;
    RowsTableView* table_;
    QPushButton* addButton_;
    QLabel* failureLabel_;
};

}  // namespace stubforge::ui
