#pragma once
// A combo box: a list of item texts, one selected (or none), and a text that the user may also
// type when the box is editable. The selection-changed callback fires for every change of the
// selected index, including changes made from code, because screens rely on it.
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/control.h"

namespace qrn::ui {

class ComboBox;
// Shows the list when the box is clicked and returns the index picked, or -1 (the Qt bridge
// installs a pop-up menu). Without one a click only toggles isListOpen().
void setComboBoxListPresenter(std::function<int(ComboBox&)> presenter);

// Makes the native line editor of an editable box whose text is clicked (the Qt bridge).
void setComboBoxEditorFactory(std::function<std::shared_ptr<NativeContent>(ComboBox&)> factory);

class ComboBox : public Control {
  public:
    explicit ComboBox(const Rect& frame = {});
    static std::shared_ptr<ComboBox> make(const Rect& frame = {}) {
        return std::make_shared<ComboBox>(frame);
    }

    const std::vector<std::string>& items() const { return items_; }
    int numberOfItems() const { return static_cast<int>(items_.size()); }
    void addItem(const std::string& item);
    void addItems(const std::vector<std::string>& items);
    void removeAllItems();
    std::string itemAt(int index) const;
    // First item with exactly this text, or -1.
    int indexOf(const std::string& item) const;

    // -1 when nothing is selected.
    int indexOfSelectedItem() const { return selected_; }
    // Selects an item (or nothing with -1; out-of-range indexes select nothing), shows its text
    // and reports the change to the selection callback.
    void selectItem(int index);
    void deselectAll() { selectItem(-1); }
    void setSelectionDidChange(std::function<void(ComboBox&)> fn) { selectionDidChange_ = std::move(fn); }

    // The text shown (and typed).
    const std::string& stringValue() const { return text_; }
    void setStringValue(const std::string& text);
    long long integerValue() const;
    void setIntegerValue(long long v) { setStringValue(std::to_string(v)); }
    bool isEditable() const { return editable_; }
    void setEditable(bool on);

    // The user picked an item from the list: select it and send the action.
    void userSelected(int index);
    // The user typed a text and confirmed it: the selection follows the text and the action goes.
    void userEntered(const std::string& text);
    // The list as it would pop up (the Qt bridge shows it as a menu).
    bool isListOpen() const { return listOpen_; }
    void setListOpen(bool open);

    bool isEditing() const { return nativeContent() != nullptr; }
    void beginEditing();
    void endEditing();
    bool acceptsFirstResponder() const override { return editable_ && isEnabled(); }
    bool resignFirstResponder() override;

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;

  private:
    std::vector<std::string> items_;
    int selected_ = -1;
    std::string text_;
    bool editable_ = true;
    bool listOpen_ = false;
    std::function<void(ComboBox&)> selectionDidChange_;
};

} // namespace qrn::ui
