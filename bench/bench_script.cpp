// Long scripts on one core. The script editor: one keystroke at the end of a script, from the key
// to the script the editor reports (the editor's document read back into styled text). The
// autocue: the studio stepping on to the next slide's script, which loads it at the window's
// width. Scripts of 600 and 6,000 paragraphs, about 50,000 and 500,000 characters.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

#include "Controller/Recording/autocueDisplayClass.h"
#include "Model/attributedStringStorageClass.h"
#include "View/Recording/autocueDisplayController.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/text_view.h"
#include "support/bench_cores.h"

namespace {

// Each paragraph opens with its number in red, as presenters mark where a slide's part begins,
// and ends in a line break without attributes, as pasted text brings them: three runs a
// paragraph.
qrn::AttributedString longScript(int paragraphs) {
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat plain;
    plain.setFont(QFont("Helvetica", 24));
    QTextCharFormat marked = plain;
    marked.setForeground(QColor(Qt::red));
    for (int i = 1; i <= paragraphs; ++i) {
        cursor.insertText(QString("Paragraph %1:").arg(i), marked);
        cursor.insertText(" the presenter reads this while the camera records, at an even pace.", plain);
        // A bare line break, as pasted text brings it.
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    }
    return qrn::AttributedString::fromTextDocument(document);
}

void press(QWidget* editor, int key, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(editor, &event);
}

void BM_KeystrokeAtTheEndOfALongScript(benchmark::State& state) {
    qrn::qt::installQtControls();
    auto view = qrn::ui::TextView::make(qrn::Rect(0, 0, 694, 692));
    view->setAttributedString(longScript(static_cast<int>(state.range(0))));
    const int length = view->attributedString().length();
    view->beginEditing();
    auto content = std::dynamic_pointer_cast<qrn::qt::NativeWidgetContent>(view->nativeContent());
    auto* editor = content ? qobject_cast<QTextEdit*>(content->widget()) : nullptr;
    if (!editor) {
        state.SkipWithError("no editor");
        return;
    }
    editor->moveCursor(QTextCursor::End);
    for (auto _ : state) {
        press(editor, Qt::Key_X, "x");
        state.PauseTiming();
        if (view->attributedString().length() != length + 1)
            state.SkipWithError("the keystroke was lost");
        press(editor, Qt::Key_Backspace, QString());
        state.ResumeTiming();
    }
    view->endEditing();
}

void BM_AutocueStepsToALongScript(benchmark::State& state) {
    const auto script = longScript(static_cast<int>(state.range(0)));
    attributedStringStorageClass().setAutocueStringArray({script, script});
    autocueDisplayClass::setStudioAssetArrayAccessor([] { return std::vector<std::string>{"0", "1", "2"}; });
    autocueDisplayController::showWindow();
    qrn::MainQueue::advance(0.5);
    int next = 0;
    for (auto _ : state) {
        autocueDisplayClass().newAutocueText(next, true);
        next = 1 - next;
        state.PauseTiming();
        if (autocueDisplayClass().getAutocueText().length() != script.length())
            state.SkipWithError("the script was not loaded");
        state.ResumeTiming();
    }
    autocueDisplayClass().closeWindow();
    autocueDisplayClass::setStudioAssetArrayAccessor(nullptr);
    attributedStringStorageClass().clearClass();
}

BENCHMARK(BM_KeystrokeAtTheEndOfALongScript)->Arg(600)->Arg(6000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutocueStepsToALongScript)->Arg(600)->Arg(6000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv);
}
