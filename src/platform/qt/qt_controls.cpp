#include "platform/qt/qt_controls.h"

#include <QAction>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QTextEdit>

#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"

namespace qrn::qt {

namespace {

QWidget* makeLineEditor(ui::TextField& field) {
    auto* edit = new QLineEdit();
    edit->setText(QString::fromStdString(field.stringValue()));
    edit->setFont(field.font());
    edit->setFrame(false);
    edit->selectAll();
    edit->setFocus();
    std::weak_ptr<ui::View> weak = field.shared_from_this();
    QObject::connect(edit, &QLineEdit::textEdited, edit, [weak](const QString& text) {
        if (auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock()))
            f->userEdited(text.toStdString());
    });
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [weak] {
        auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock());
        if (!f)
            return;
        f->userEndedEditing();
        // Removing the editor destroys this widget: not while its own signal runs.
        MainQueue::after(0, [weak] {
            if (auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock()))
                f->endEditing();
        });
    });
    return edit;
}

QWidget* makeTextEditor(ui::TextView& view) {
    auto* edit = new QTextEdit();
    edit->setFrameStyle(0);
    view.attributedString().writeTo(*edit->document());
    edit->setFocus();
    std::weak_ptr<ui::View> weak = view.shared_from_this();
    QObject::connect(edit, &QTextEdit::textChanged, edit, [weak, edit] {
        auto v = std::dynamic_pointer_cast<ui::TextView>(weak.lock());
        if (!v)
            return;
        // Text typed where nothing else applies takes the typing attributes.
        AttributedString text = AttributedString::fromTextDocument(*edit->document());
        for (const auto& run : std::vector<AttributedString::Run>(text.runs()))
            if (run.attributes.isEmpty())
                text.setAttributes(v->typingAttributes(), run.range);
        v->userEdited(text);
    });
    return edit;
}

} // namespace

void installQtControls() {
    ui::setTextFieldEditorFactory([](ui::TextField& f) -> std::shared_ptr<ui::NativeContent> {
        return std::make_shared<NativeWidgetContent>(makeLineEditor(f));
    });
    ui::setTextViewEditorFactory([](ui::TextView& v) -> std::shared_ptr<ui::NativeContent> {
        return std::make_shared<NativeWidgetContent>(makeTextEditor(v));
    });
    ui::setComboBoxListPresenter([](ui::ComboBox& box) {
        QMenu menu;
        for (int i = 0; i < box.numberOfItems(); ++i) {
            QAction* a = menu.addAction(QString::fromStdString(box.itemAt(i)));
            a->setData(i);
            a->setCheckable(true);
            a->setChecked(i == box.indexOfSelectedItem());
        }
        QAction* picked = menu.exec(QCursor::pos());
        return picked ? picked->data().toInt() : -1;
    });
}

} // namespace qrn::qt
