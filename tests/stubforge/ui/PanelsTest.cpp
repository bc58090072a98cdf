// The CSV and JSON panels: counts and tables in step within the bounds
// Generate accepts, the editors' buttons, and the template import.
#include "UiTestSupport.h"

#include "stubforge/ui/CSVConfigurationView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/JSONConfigurationView.h"
#include "stubforge/ui/RowsTableModel.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/Texts.h"

#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <fstream>

namespace stubforge::ui {
namespace {

template <typename Widget>
Widget* shown(QWidget& root, const QString& name) {
    for (Widget* widget : root.findChildren<Widget*>(name)) {
        if (widget->isVisibleTo(root.window())) {
            return widget;
        }
    }
    return nullptr;
}

// Puts the whole text in at once, as a paste does: typed key by key, "300"
// passes through "3" and "30" on the way.
void pasteInto(QWidget& root, const QString& name, const QString& text) {
    auto* field = shown<QLineEdit>(root, name);
    QVERIFY2(field != nullptr, qPrintable(name));
    field->setText(text);
}

std::vector<std::string> columnNames(const MainWindowState& state) {
    std::vector<std::string> names;
    for (const auto& row : state.form().csvColumnsViewModel.rows()) {
        names.push_back(row.columnName);
    }
    return names;
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

class PanelsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        world_ = std::make_unique<testing::UiWorld>();
        window_ = std::make_unique<MainWindow>(world_->services());
        window_->show();
    }
    void cleanup() {
        window_.reset();
        world_.reset();
    }

    void typedColumnCountsResizeOnlyWithinWhatGenerateTakes() {
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        struct Case {
            const char* text;
            std::size_t rows;
            bool moreEnabled;
        };
        const Case cases[] = {
            {"3", 3, true},  {"0", 3, false},    {"-3", 3, false},    {"abc", 3, false},    {" 5", 3, false},
            {"+7", 7, true}, {"250", 250, true}, {"300", 250, false}, {"1001", 250, false}, {"1", 1, true},
        };
        for (const Case& item : cases) {
            pasteInto(*window_, "columnCount", item.text);
            QVERIFY2(state.form().csvColumnsViewModel.rows().size() == item.rows, item.text);
            QVERIFY2(shown<QPushButton>(*window_, "moreButton")->isEnabled() == item.moreEnabled, item.text);
        }
        // Leaving the column controls writes the table's count back.
        pasteInto(*window_, "columnCount", "abc");
        state.setCSVCriteria(CSVCriteria::bySize);
        QCOMPARE(state.form().columnCount, std::string("1"));
    }

    void columnEditorAddsAndRemovesWithinBounds() {
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "columnCount", "3");
        CSVConfigurationView* panel = window_->form().csvPanel();
        QVERIFY(panel != nullptr);
        QTest::mouseClick(shown<QPushButton>(*window_, "moreButton"), Qt::LeftButton);
        CSVColumnConfigurationView* editor = panel->editor();
        QVERIFY(editor != nullptr);
        QTRY_VERIFY(editor->isVisible());
        auto* table = editor->findChild<QTableView*>();
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), QString("Column Name"));
        QCOMPARE(table->model()->headerData(2, Qt::Horizontal).toString(), QString("Faker Value Type"));

        // Every row offers all 91 value types.
        auto* picker =
            qobject_cast<QComboBox*>(table->indexWidget(table->model()->index(0, RowsTableModel::typeColumn)));
        QVERIFY(picker != nullptr);
        QCOMPARE(picker->count(), 91);
        QCOMPARE(picker->currentText(), QString("Address - Street Address"));
        picker->setCurrentIndex(picker->findText("Internet - Email"));
        emit picker->activated(picker->currentIndex());
        QCOMPARE(rawValue(state.form().csvColumnsViewModel.rows()[0].dataType), std::string_view("Internet - Email"));

        // Removing the middle row closes up the numbers; a new row takes the next number.
        auto removeButton = [&](int row) {
            return qobject_cast<QToolButton*>(
                table->indexWidget(table->model()->index(row, RowsTableModel::removeColumn)));
        };
        QTest::mouseClick(removeButton(1), Qt::LeftButton);
        QCOMPARE(columnNames(state), (std::vector<std::string>{"Column1", "Column3"}));
        QCOMPARE(table->model()->index(1, RowsTableModel::numberColumn).data().toString(), QString("2"));
        QCOMPARE(state.form().columnCount, std::string("2"));
        auto* add = editor->findChild<QPushButton*>("addRowButton");
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(columnNames(state), (std::vector<std::string>{"Column1", "Column3", "Column3"}));
        QCOMPARE(state.form().columnCount, std::string("3"));

        // The last row cannot be removed.
        QTest::mouseClick(removeButton(2), Qt::LeftButton);
        QTest::mouseClick(removeButton(1), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 1);
        QVERIFY(!removeButton(0)->isEnabled());

        // "Add column" stops at 250.
        pasteInto(*window_, "columnCount", "249");
        QVERIFY(add->isEnabled());
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(state.form().csvColumnsViewModel.rows().size(), std::size_t{250});
        QVERIFY(!add->isEnabled());
        state.addColumn();
        QCOMPARE(state.form().csvColumnsViewModel.rows().size(), std::size_t{250});
        QCOMPARE(state.form().columnCount, std::string("250"));
    }

    void templateImportReplacesTheColumns() {
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "columnCount", "4");
        window_->form().csvPanel()->toggleEditor();
        CSVColumnConfigurationView* editor = window_->form().csvPanel()->editor();
        QVERIFY(editor != nullptr);
        auto* failure = editor->findChild<QLabel*>("importFailure");

        // A header that gives no usable columns is a failure the panel
        // shows; the rows stay.
        std::string tooMany;
        for (int column = 1; column <= 300; ++column) {
            tooMany += (column > 1 ? "," : "") + std::string("c") + std::to_string(column);
        }
        struct Refusal {
            const char* name;
            std::string bytes;
            const char* message;
        };
        const Refusal refusals[] = {
            {"empty.csv", "", "Error reading CSV file: the file has no header row"},
            {"blank-first-line.csv", "\n1,2\n", "Error reading CSV file: the first line, the header, is empty"},
            {"wide.csv", tooMany + "\n",
             "Error reading CSV file: the header has 300 names; a table has at most 250 columns"},
        };
        for (const Refusal& refusal : refusals) {
            const auto path = world_->root() / refusal.name;
            writeFile(path, refusal.bytes);
            world_->templatePath = QString::fromStdString(path.string());
            QTest::mouseClick(editor->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(failure->text(), QString(refusal.message), 60'000);
            QVERIFY2(state.form().csvColumnsViewModel.rows().size() == 4, refusal.name);
            QCOMPARE(state.form().columnCount, std::string("4"));
            QVERIFY2(failure->isVisibleTo(editor), refusal.name);
            failure->clear();
        }

        const auto header = world_->root() / "people.csv";
        writeFile(header, "id,name,email\n1,Ann,ann@example.org\n");
        world_->templatePath = QString::fromStdString(header.string());
        QTest::mouseClick(editor->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(columnNames(state), (std::vector<std::string>{"id", "name", "email"}), 60'000);
        for (const auto& row : state.form().csvColumnsViewModel.rows()) {
            QCOMPARE(rawValue(row.dataType), std::string_view("Address - Street Address"));
        }
        QCOMPARE(state.form().columnCount, std::string("3"));
        QVERIFY(!failure->isVisibleTo(editor));
        QCOMPARE(editor->findChild<QTableView*>()->model()->rowCount(), 3);

        // Cancelling the chooser changes nothing.
        world_->templatePath.clear();
        QTest::mouseClick(editor->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
        QCOMPARE(columnNames(state), (std::vector<std::string>{"id", "name", "email"}));
    }

    void importHelpIsATooltip() {
        window_->sidebar().select(FileExtension::csv);
        window_->form().csvPanel()->toggleEditor();
        auto* help = window_->form().csvPanel()->editor()->findChild<QLabel*>("importHelp");
        QVERIFY(help != nullptr);
        QCOMPARE(help->toolTip(), QString::fromUtf8(texts::kImportHelp.data()));
    }

    void fieldEditorStopsAtOneHundred() {
        window_->sidebar().select(FileExtension::json);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "jsonFieldCount", "100");
        QCOMPARE(state.form().jsonFieldsViewModel.rows().size(), std::size_t{100});
        QVERIFY(shown<QPushButton>(*window_, "moreButton")->isEnabled());
        pasteInto(*window_, "jsonFieldCount", "101");
        QCOMPARE(state.form().jsonFieldsViewModel.rows().size(), std::size_t{100});
        QVERIFY(!shown<QPushButton>(*window_, "moreButton")->isEnabled());
        pasteInto(*window_, "jsonFieldCount", "99");
        window_->form().jsonPanel()->toggleEditor();
        JSONFieldConfigurationView* editor = window_->form().jsonPanel()->editor();
        QVERIFY(editor != nullptr);
        QCOMPARE(editor->findChild<QTableView*>()->model()->headerData(1, Qt::Horizontal).toString(),
                 QString("Field Name"));
        auto* add = editor->findChild<QPushButton*>("addRowButton");
        QCOMPARE(add->text(), QString("Add field"));
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(state.form().jsonFieldsViewModel.rows().size(), std::size_t{100});
        QCOMPARE(state.form().jsonFieldCount, std::string("100"));
        QVERIFY(!add->isEnabled());
        // Any record count is kept as typed; only Generate judges it.
        pasteInto(*window_, "jsonRowCount", "");
        QCOMPARE(state.form().jsonRowCount, std::string(""));
    }

    void countsAreLockedWhileGenerating() {
        window_->sidebar().select(FileExtension::json);
        window_->state().setGenerating(true);
        QVERIFY(!shown<QLineEdit>(*window_, "jsonRowCount")->isEnabled());
        QVERIFY(!shown<QLineEdit>(*window_, "jsonFieldCount")->isEnabled());
        QVERIFY(!shown<QPushButton>(*window_, "moreButton")->isEnabled());
        QVERIFY(!window_->form().generateButton()->isEnabled());
        window_->sidebar().select(FileExtension::csv);
        QVERIFY(!shown<QLineEdit>(*window_, "columnCount")->isEnabled());
        QVERIFY(shown<QComboBox>(*window_, "csvCriteriaPicker")->isEnabled());
        window_->state().setGenerating(false);
        QVERIFY(shown<QLineEdit>(*window_, "columnCount")->isEnabled());
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::PanelsTest)
#include "PanelsTest.moc"
