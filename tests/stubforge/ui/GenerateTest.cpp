// Generate from the window: the request reaches the real writers off the
// window's thread, the window stays live, failures show, and closing the
// window stops a writer without leaving a partial file.
#include "UiTestSupport.h"

#include "stubforge/core/SizedWriters.h"
#include "stubforge/core/Utils.h"
#include "stubforge/form/Dispatch.h"
#include "stubforge/ui/FolderView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/StatusRow.h"
#include "stubforge/ui/Texts.h"

#include "platform/Error.h"
#include "platform/OutputFile.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <variant>

namespace stubforge::ui {
namespace {

using namespace std::chrono_literals;

// The shown control of that name; controls of a replaced row linger hidden
// until deleted.
template <typename Widget>
Widget* shown(QWidget& root, const QString& name) {
    for (Widget* widget : root.findChildren<Widget*>(name)) {
        if (widget->isVisibleTo(&root)) {
            return widget;
        }
    }
    return nullptr;
}

void typeInto(QWidget& root, const QString& name, const QString& text) {
    auto* field = shown<QLineEdit>(root, name);
    QVERIFY2(field != nullptr, qPrintable(name));
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

// Wraps a writer, noting whether any call ran on the window's thread.
struct ThreadWatch {
    std::thread::id windowThread = std::this_thread::get_id();
    std::atomic<int> calls{0};
    std::atomic<bool> ranOnWindowThread{false};

    Writer wrap(Writer inner) {
        return [this, inner](const GenerationRequest& request, const GenerationContext& context) {
            ++calls;
            if (std::this_thread::get_id() == windowThread) {
                ranOnWindowThread = true;
            }
            return inner(request, context);
        };
    }
};

Writer realWriter() {
    return [](const GenerationRequest& request, const GenerationContext& context) {
        return runGeneration(request, context);
    };
}

}  // namespace

class GenerateTest : public QObject {
    Q_OBJECT

private slots:
    void init() { world_ = std::make_unique<testing::UiWorld>(); }
    void cleanup() { world_.reset(); }

    void txtEndToEnd() {
        ThreadWatch watch;
        MainWindow window(world_->services(watch.wrap(realWriter())));
        window.show();
        window.sidebar().select(FileExtension::txt);
        typeInto(window, "fileSizeInput", "0.01");
        QPushButton* generate = window.form().generateButton();
        QVERIFY(generate->isEnabled());

        QTest::mouseClick(generate, Qt::LeftButton);
        QVERIFY(!generate->isEnabled());
        QVERIFY(window.statusRow().showsProgress());
        QTRY_VERIFY_WITH_TIMEOUT(generate->isEnabled(), testing::kEventCeilingMs);
        QVERIFY(!window.statusRow().showsProgress());

        const auto files = world_->outputFiles();
        QCOMPARE(files.size(), std::size_t{1});
        const QString name = QString::fromStdString(files.front().filename().string());
        QVERIFY2(QRegularExpression("^document_0_01MB_\\d{14}\\.txt$").match(name).hasMatch(), qPrintable(name));
        QCOMPARE(std::filesystem::file_size(files.front()), std::uintmax_t{10000});
        QCOMPARE(watch.calls.load(), 1);
        QVERIFY(!watch.ranOnWindowThread);
        // The finished generation asks the file list to reload.
        QVERIFY(window.state().reloadFolderView());
        QTRY_COMPARE_WITH_TIMEOUT(window.folderView().count(), 1, testing::kEventCeilingMs);

        const auto events = world_->analytics().events();
        QCOMPARE(events.size(), std::size_t{1});
        QCOMPARE(events[0].name, std::string(texts::kGenerateClickEvent));
        const EventParameters expected = {
            {"file_type", "txt"},
            {"app_version", "Stubforge v" + platform::Bundle::main().shortVersion() + " (" +
                                platform::Bundle::main().buildNumber() + ")"},
        };
        QVERIFY(events[0].parameters == expected);
    }

    void windowStaysLiveWhileAWriterRuns() {
        ThreadWatch watch;
        const Writer slow = [](const GenerationRequest&, const GenerationContext& context) {
            for (int step = 0; step < 40; ++step) {
                if (context.cancel()->isCancelled()) {
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
            return std::filesystem::path("slow.txt");
        };
        MainWindow window(world_->services(watch.wrap(slow)));
        window.show();
        int ticks = 0;
        int ticksWhileBusy = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            if (window.state().isGenerating()) {
                ++ticksWhileBusy;
            }
        });
        timer.start(20);
        QTest::mouseClick(window.form().generateButton(), Qt::LeftButton);
        QVERIFY(window.state().isGenerating());
        QTRY_VERIFY_WITH_TIMEOUT(!window.state().isGenerating(), testing::kEventCeilingMs);
        // About 400 ms of writing: a blocked window would see no tick at all.
        QVERIFY2(ticksWhileBusy >= 5, qPrintable(QString::number(ticksWhileBusy)));
        QVERIFY(!watch.ranOnWindowThread);
    }

    void failureShowsAndTheNextGenerateWorks() {
        std::atomic<int> attempts{0};
        const Writer failingOnce = [&attempts](const GenerationRequest& request, const GenerationContext& context) {
            if (attempts++ == 0) {
                throw platform::Error("TXTGeneratorError", 1, "No space left on device");
            }
            return runGeneration(request, context);
        };
        MainWindow window(world_->services(failingOnce));
        window.show();
        window.sidebar().select(FileExtension::txt);
        typeInto(window, "fileSizeInput", "0.01");
        QPushButton* generate = window.form().generateButton();

        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(generate->isEnabled(), testing::kEventCeilingMs);
        QVERIFY(!window.state().isGenerating());
        QVERIFY(window.statusRow().showsFailure());
        QCOMPARE(window.statusRow().text(), QString("Generation failed: No space left on device"));
        QVERIFY(window.statusRow().findChild<QLabel*>("statusText")->styleSheet().contains("#d70015"));
        const auto lines = world_->log().drainLines();
        QVERIFY(std::find(lines.begin(), lines.end(), "Generation failed: No space left on device") != lines.end());
        QVERIFY(world_->outputFiles().empty());

        QTest::mouseClick(generate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(generate->isEnabled(), testing::kEventCeilingMs);
        QVERIFY(!window.statusRow().showsFailure());
        QCOMPARE(window.statusRow().text(), QString::fromUtf8(texts::kTips.data()));
        QCOMPARE(world_->outputFiles().size(), std::size_t{1});
        QCOMPARE(attempts.load(), 2);
    }

    void generateFollowsTheFormCheck() {
        MainWindow window(world_->services());
        window.show();
        MainWindowState& state = window.state();
        struct Step {
            const char* what;
            std::function<void()> change;
            bool enabled;
        };
        const Step steps[] = {
            {"initial pdf", [] {}, true},
            {"txt", [&] { window.sidebar().select(FileExtension::txt); }, true},
            {"txt 0.009", [&] { typeInto(window, "fileSizeInput", "0.009"); }, false},
            {"txt 0.01", [&] { typeInto(window, "fileSizeInput", "0.01"); }, true},
            {"txt not a number", [&] { typeInto(window, "fileSizeInput", "1,5"); }, false},
            {"txt 50000", [&] { typeInto(window, "fileSizeInput", "50000"); }, true},
            {"txt empty", [&] { typeInto(window, "fileSizeInput", ""); }, false},
            {"pdf resets the size", [&] { window.sidebar().select(FileExtension::pdf); }, true},
            {"pdf by pages", [&] { state.setPDFGenerationMode(PDFGenerationMode::byPages); }, true},
            {"pages 0", [&] { typeInto(window, "pageCountInput", "0"); }, false},
            {"pages +3", [&] { typeInto(window, "pageCountInput", "+3"); }, true},
            {"pages 1001", [&] { typeInto(window, "pageCountInput", "1001"); }, false},
            {"csv", [&] { window.sidebar().select(FileExtension::csv); }, true},
            {"csv 300 columns", [&] { typeInto(window, "columnCount", "300"); }, false},
            {"csv 250 columns", [&] { typeInto(window, "columnCount", "250"); }, true},
            {"json", [&] { window.sidebar().select(FileExtension::json); }, true},
            {"json 501 rows", [&] { typeInto(window, "jsonRowCount", "501"); }, false},
            {"json 0 rows", [&] { typeInto(window, "jsonRowCount", "0"); }, true},
            {"json 101 fields", [&] { typeInto(window, "jsonFieldCount", "101"); }, false},
            {"all my files", [&] { window.sidebar().select(FileExtension::showAll); }, false},
        };
        for (const Step& step : steps) {
            step.change();
            const bool check = std::holds_alternative<GenerationRequest>(checkForm(state.form()));
            QVERIFY2(check == step.enabled, step.what);
            QVERIFY2(window.form().generateButton()->isEnabled() == step.enabled, step.what);
        }
    }

    void closingTheWindowStopsTheWriterAndLeavesNoFile() {
        std::atomic<bool> started{false};
        std::atomic<bool> stopped{false};
        // Writes 1 MB chunks until cancelled, at most 500 of them.
        const Writer endless = [&](const GenerationRequest&, const GenerationContext& context) {
            const auto folder = Utils::outputFolderURL(context.defaults(), context.log()).folder;
            platform::OutputFile file(folder / "document_endless.txt", context.cancel());
            const std::string chunk = makeFillerChunk(1'000'000);
            try {
                for (int count = 0; count < 500; ++count) {
                    file.write(chunk);
                    started = true;
                    std::this_thread::sleep_for(2ms);
                }
            } catch (const platform::Error&) {
                stopped = true;
                throw;
            }
            return file.commit();
        };
        auto window = std::make_unique<MainWindow>(world_->services(endless));
        window->show();
        window->sidebar().select(FileExtension::txt);
        QTest::mouseClick(window->form().generateButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(started.load(), testing::kEventCeilingMs);
        window->close();
        QVERIFY(stopped.load());
        QVERIFY(!window->state().isGenerating());
        window.reset();
        QCoreApplication::processEvents();
        QVERIFY(world_->outputFiles().empty());
        // A cancelled run is not a failure.
        for (const auto& line : world_->log().drainLines()) {
            QVERIFY2(line.find("Generation failed") == std::string::npos, line.c_str());
        }
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::GenerateTest)
#include "GenerateTest.moc"
