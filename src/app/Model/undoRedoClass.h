#pragma once
// The undo history, as far as the menu reaches it: whether undo and redo are available, and
// the two commands. The history itself comes with the editing actions.
#include <functional>

class undoRedoClass {
  public:
    bool getUndoOn();
    bool getRedoOn();
    void undo();
    void redo();

    // The history reports its availability and takes the commands through these.
    static void setAvailability(bool undoOn, bool redoOn);
    static void setCommandHandler(std::function<void(bool redo)> handler);
};
