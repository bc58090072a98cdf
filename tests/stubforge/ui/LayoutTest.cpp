// The window's geometry as the file kind changes: the sidebar keeps its
// width, labels sit next to their fields, the form keeps the same margin to
// the window's edge, and the toolbar's switches read in both schemes.
#include "UiTestSupport.h"

#include "stubforge/ui/CSVConfigurationView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/RowsTableModel.h"
#include "stubforge/ui/FolderView.h"
#include "stubforge/ui/Sidebar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolBar>
#include <QtTest>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

namespace stubforge::ui {
namespace {

// One way the form can look, and how to get there from a fresh window.
struct FormSetup {
    const char* name;
    std::function<void(MainWindow&)> apply;
};

std::vector<FormSetup> formSetups() {
    auto kind = [](FileExtension extension) {
        return [extension](MainWindow& window) { window.sidebar().select(extension); };
    };
    return {
        {"pdf, Dummy, By Size", kind(FileExtension::pdf)},
        {"pdf, Dummy, By Pages",
         [](MainWindow& window) {
             window.sidebar().select(FileExtension::pdf);
             window.state().setPDFGenerationMode(PDFGenerationMode::byPages);
         }},
        {"pdf, Invoice",
         [](MainWindow& window) {
             window.sidebar().select(FileExtension::pdf);
             window.state().setContentType(ContentType::invoice);
         }},
        {"txt", kind(FileExtension::txt)},
        {"docx", kind(FileExtension::docx)},
        {"mp4", kind(FileExtension::mp4)},
        {"usdz", kind(FileExtension::usdz)},
        {"csv, By Columns", kind(FileExtension::csv)},
        {"csv, By Size",
         [](MainWindow& window) {
             window.sidebar().select(FileExtension::csv);
             window.state().setCSVCriteria(CSVCriteria::bySize);
         }},
        {"json", kind(FileExtension::json)},
    };
}

void settleLayout() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

template <typename Widget>
std::vector<Widget*> shownIn(QWidget& root) {
    std::vector<Widget*> shown;
    for (Widget* widget : root.findChildren<Widget*>()) {
        if (widget->isVisibleTo(root.window())) {
            shown.push_back(widget);
        }
    }
    return shown;
}

QString describe(const QSet<int>& values) {
    QStringList texts;
    for (const int value : values) {
        texts << QString::number(value);
    }
    texts.sort();
    return "differs between kinds: " + texts.join(", ");
}

QColor commonestColour(const QImage& image) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb commonest = 0;
    int most = 0;
    for (auto entry = counts.cbegin(); entry != counts.cend(); ++entry) {
        if (entry.value() > most) {
            most = entry.value();
            commonest = entry.key();
        }
    }
    return QColor::fromRgb(commonest);
}

// The contrast ratio of two colours as the web's accessibility rules
// reckon it: 1 for equal colours, 21 for black on white.
double contrast(const QColor& first, const QColor& second) {
    auto luminance = [](const QColor& colour) {
        auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
    };
    const double a = luminance(first) + 0.05;
    const double b = luminance(second) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QRect inWindow(const QWidget& widget) { return QRect(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size()); }

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        world_ = std::make_unique<testing::UiWorld>();
        window_ = std::make_unique<MainWindow>(world_->services());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get(), testing::kEventCeilingMs));
    }
    void cleanup() {
        window_.reset();
        world_.reset();
    }

    void sidebarKeepsOneWidthForEveryKind() {
        QSet<int> widths;
        QSet<int> listEdges;
        for (const FormSetup& setup : formSetups()) {
            setup.apply(*window_);
            settleLayout();
            widths.insert(window_->sidebar().width());
            listEdges.insert(inWindow(window_->folderView()).left());
        }
        window_->sidebar().select(FileExtension::showAll);
        settleLayout();
        widths.insert(window_->sidebar().width());
        QVERIFY2(widths.size() == 1, qPrintable(describe(widths)));
        QVERIFY2(listEdges.size() == 1, qPrintable(describe(listEdges)));
    }

    void labelsSitBesideTheirFields() {
        for (const FormSetup& setup : formSetups()) {
            setup.apply(*window_);
            settleLayout();
            std::vector<QWidget*> fields;
            for (QWidget* field : shownIn<QLineEdit>(window_->form())) {
                fields.push_back(field);
            }
            for (QWidget* field : shownIn<QComboBox>(window_->form())) {
                fields.push_back(field);
            }
            int labels = 0;
            for (QLabel* label : shownIn<QLabel>(window_->form())) {
                if (!label->text().endsWith(':')) {
                    continue;
                }
                ++labels;
                const QRect box = inWindow(*label);
                const int textEnd = box.left() + label->contentsMargins().left() +
                                    label->fontMetrics().horizontalAdvance(label->text());
                int gap = std::numeric_limits<int>::max();
                for (QWidget* field : fields) {
                    const QRect fieldBox = inWindow(*field);
                    if (fieldBox.left() >= textEnd && fieldBox.top() < box.bottom() && fieldBox.bottom() > box.top()) {
                        gap = std::min(gap, fieldBox.left() - textEnd);
                    }
                }
                const QString where = QString("%1, \"%2\": %3 px").arg(setup.name, label->text()).arg(gap);
                QVERIFY2(gap <= 8, qPrintable(where));
            }
            QVERIFY2(labels > 0, setup.name);
        }
    }

    // Generate stands as far from the window's right edge as the first
    // label's text from the sidebar, whatever the kind, and the widest row
    // still fits.
    void formKeepsOneMarginForEveryKind() {
        QSet<int> trailing;
        for (const FormSetup& setup : formSetups()) {
            setup.apply(*window_);
            settleLayout();
            GenerationForm& form = window_->form();
            QVERIFY2(form.minimumSizeHint().width() <= form.width(), setup.name);
            const QRect content = inWindow(*window_->centralWidget());
            const QRect generate = inWindow(*form.generateButton());
            trailing.insert(content.right() - generate.right());
            int firstText = std::numeric_limits<int>::max();
            for (QLabel* label : shownIn<QLabel>(form)) {
                if (label->text().endsWith(':')) {
                    firstText = std::min(firstText, inWindow(*label).left() + label->contentsMargins().left());
                }
            }
            const int leading = firstText - inWindow(window_->folderView()).left();
            QVERIFY2(content.right() - generate.right() == leading,
                     qPrintable(QString("%1: %2 px after Generate, %3 px before the first label")
                                    .arg(setup.name)
                                    .arg(content.right() - generate.right())
                                    .arg(leading)));
        }
        QVERIFY2(trailing.size() == 1, qPrintable(describe(trailing)));
    }

    void columnTitlesAlignWithTheirCells() {
        window_->sidebar().select(FileExtension::csv);
        window_->form().csvPanel()->toggleEditor();
        CSVColumnConfigurationView* editor = window_->form().csvPanel()->editor();
        QVERIFY(editor != nullptr);
        auto* table = editor->findChild<QTableView*>();
        QVERIFY(table != nullptr);
        QAbstractItemModel& model = *table->model();
        auto across = [](Qt::Alignment alignment) { return alignment & Qt::AlignHorizontal_Mask; };
        auto titleAlignment = [&](int column) {
            const QVariant given = model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole);
            return across(given.isValid() ? given.value<Qt::Alignment>()
                                          : table->horizontalHeader()->defaultAlignment());
        };
        const QModelIndex first = model.index(0, RowsTableModel::numberColumn);
        QCOMPARE(titleAlignment(RowsTableModel::numberColumn),
                 across(model.data(first, Qt::TextAlignmentRole).value<Qt::Alignment>()));
        auto* name = qobject_cast<QLineEdit*>(table->indexWidget(model.index(0, RowsTableModel::nameColumn)));
        QVERIFY(name != nullptr);
        QCOMPARE(titleAlignment(RowsTableModel::nameColumn), across(name->alignment()));
        // A picker's text starts at its leading edge.
        QCOMPARE(titleAlignment(RowsTableModel::typeColumn), Qt::Alignment(Qt::AlignLeft));
    }

    void fileListTitlesAlignWithTheirCells() {
        std::filesystem::create_directories(world_->outputFolder());
        std::ofstream(world_->outputFolder() / "listed.txt") << "listed";
        MainWindow window(world_->services());
        window.show();
        window.sidebar().select(FileExtension::showAll);
        QTRY_COMPARE_WITH_TIMEOUT(window.folderView().count(), 1, 60'000);
        FileTable& table = window.folderView().table();
        QAbstractItemModel& model = *table.model();
        for (int column = 0; column < model.columnCount(); ++column) {
            const QVariant title = model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole);
            const QVariant cell = model.data(model.index(0, column), Qt::TextAlignmentRole);
            // Without a word from the model, a title is centred and a cell
            // starts at its leading edge.
            const Qt::Alignment titleAcross =
                (title.isValid() ? title.value<Qt::Alignment>() : table.horizontalHeader()->defaultAlignment()) &
                Qt::AlignHorizontal_Mask;
            const Qt::Alignment cellAcross =
                (cell.isValid() ? cell.value<Qt::Alignment>() : Qt::Alignment(Qt::AlignLeft)) &
                Qt::AlignHorizontal_Mask;
            QVERIFY2(titleAcross == cellAcross, qPrintable(model.headerData(column, Qt::Horizontal).toString()));
        }
    }

    // Switched on, the pin is a tile of its own colour, not the selection
    // colour, with the glyph standing out from it, in both schemes.
    void checkedPinReadsInBothSchemes() {
        auto* pin = window_->findChild<QToolBar*>("toolbar")->widgetForAction(window_->stayOnTopAction());
        QVERIFY(pin != nullptr);
        for (const bool dark : {true, false}) {
            window_->settings().setDarkMode(dark);
            window_->settings().setStayOnTop(false);
            settleLayout();
            const QColor off = commonestColour(pin->grab().toImage());
            window_->settings().setStayOnTop(true);
            settleLayout();
            QVERIFY(window_->stayOnTopAction()->isChecked());
            const QImage on = pin->grab().toImage();
            const QColor tile = commonestColour(on);
            const QString scheme = dark ? "dark" : "light";
            QVERIFY2(tile != off, qPrintable(scheme + ": the checked pin looks as the unchecked one"));
            QVERIFY2(tile.hsvSaturationF() < 0.3,
                     qPrintable(scheme + ": the checked pin is a block of colour " + tile.name()));
            const QSize glyph = window_->findChild<QToolBar*>("toolbar")->iconSize();
            const QRect glyphArea(QPoint((on.width() - glyph.width()) / 2, (on.height() - glyph.height()) / 2), glyph);
            double strongest = 1;
            for (int y = glyphArea.top(); y <= glyphArea.bottom(); ++y) {
                for (int x = glyphArea.left(); x <= glyphArea.right(); ++x) {
                    strongest = std::max(strongest, contrast(on.pixelColor(x, y), tile));
                }
            }
            QVERIFY2(strongest >= 4.5,
                     qPrintable(QString("%1: the glyph stands out %2:1 from the tile").arg(scheme).arg(strongest)));
        }
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::LayoutTest)
#include "LayoutTest.moc"
