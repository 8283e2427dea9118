#include "Model/undoRedoClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
bool undoOn = false;
bool redoOn = false;
std::function<void(bool)> commandHandler;
} // namespace

bool undoRedoClass::getUndoOn() {
    return undoOn;
}

bool undoRedoClass::getRedoOn() {
    return redoOn;
}

void undoRedoClass::undo() {
    QRN_LOG_IN();
    if (commandHandler)
        commandHandler(false);
}

void undoRedoClass::redo() {
    QRN_LOG_IN();
    if (commandHandler)
        commandHandler(true);
}

void undoRedoClass::setAvailability(bool undo, bool redo) {
    undoOn = undo;
    redoOn = redo;
}

void undoRedoClass::setCommandHandler(std::function<void(bool)> handler) {
    commandHandler = std::move(handler);
}
