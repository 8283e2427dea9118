#include "platform/qt/qt_application.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyleFactory>
#include <QTextEdit>

#include <type_traits>

namespace qrn::qt {

namespace {

QPalette darkPalette() {
    const QColor window(0x2b, 0x2b, 0x2d), base(0x1e, 0x1e, 0x20), text(0xe6, 0xe6, 0xe6),
        button(0x35, 0x35, 0x38), highlight(0x17, 0x74, 0xc8), disabled(0x80, 0x80, 0x84);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, button.lighter(150));
    p.setColor(QPalette::Midlight, button.lighter(125));
    p.setColor(QPalette::Mid, button.darker(125));
    p.setColor(QPalette::Dark, button.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, highlight.lighter(130));
    p.setColor(QPalette::LinkVisited, highlight.lighter(110));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, button);
    return p;
}

// The same commands on a line editor and on the two text editors; they differ only in what
// matching the style and deleting mean.
template <typename Editor> void edit(Editor* editor, ui::EditCommand command) {
    using ui::EditCommand;
    constexpr bool line = std::is_same_v<Editor, QLineEdit>;
    const bool readOnly = editor->isReadOnly();
    switch (command) {
    case EditCommand::cut:
        if (readOnly)
            editor->copy();
        else
            editor->cut();
        break;
    case EditCommand::copy:
        editor->copy();
        break;
    case EditCommand::paste:
        if (!readOnly)
            editor->paste();
        break;
    case EditCommand::pasteAndMatchStyle:
        if (readOnly)
            break;
        // Only the clipboard's text, in the style at the insertion point; a line has no style.
        if constexpr (line)
            editor->paste();
        else
            editor->insertPlainText(QGuiApplication::clipboard()->text());
        break;
    case EditCommand::deleteSelection:
        if (readOnly)
            break;
        if constexpr (line) {
            // Only the selection: without one, del() would take the next character.
            if (editor->hasSelectedText())
                editor->del();
        } else {
            QTextCursor cursor = editor->textCursor();
            cursor.removeSelectedText();
            editor->setTextCursor(cursor);
        }
        break;
    case EditCommand::selectAll:
        editor->selectAll();
        break;
    }
}

} // namespace

void applyDarkAppearance() {
    if (QStyle* fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);
    QApplication::setPalette(darkPalette());
}

namespace {

bool isTextEditor(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w);
}

// The editor that last took the keyboard focus. The main menu sits in the main window, so
// choosing one of its Edit items activates that window and takes the focus from an editor in
// another window (the script window) before the command runs.
QPointer<QWidget>& lastTextEditor() {
    static QPointer<QWidget> editor;
    return editor;
}

// That editor, while it still holds the focus of its own window and that window is not the
// active one: the focus left it only because another window was activated.
QWidget* editorInAnInactiveWindow() {
    QWidget* editor = lastTextEditor();
    if (!editor || !editor->isVisible() || !editor->isEnabled())
        return nullptr;
    QWidget* window = editor->window();
    if (window == QApplication::activeWindow() || window->focusWidget() != editor)
        return nullptr;
    return editor;
}

} // namespace

QWidget* focusedTextEditor() {
    QWidget* w = QApplication::focusWidget();
    return isTextEditor(w) ? w : nullptr;
}

bool performEditCommand(ui::EditCommand command) {
    QWidget* w = focusedTextEditor();
    if (!w) {
        w = editorInAnInactiveWindow();
        // Its window comes back in front, so the presenter sees what the command did.
        if (w) {
            w->window()->raise();
            w->window()->activateWindow();
        }
    }
    if (auto* line = qobject_cast<QLineEdit*>(w))
        edit(line, command);
    else if (auto* text = qobject_cast<QTextEdit*>(w))
        edit(text, command);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        edit(plain, command);
    else
        return false;
    return true;
}

void installEditCommands() {
    static QPointer<QObject> focusWatcher;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app && !focusWatcher) {
        focusWatcher = new QObject(app);
        QObject::connect(app, &QApplication::focusChanged, focusWatcher, [](QWidget*, QWidget* now) {
            if (isTextEditor(now))
                lastTextEditor() = now;
        });
    }
    ui::Application::shared().setEditCommandHandler([](ui::EditCommand c) { return performEditCommand(c); });
}

} // namespace qrn::qt
