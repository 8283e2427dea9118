#pragma once
// The values a handle drag keeps before it starts and its undo entry records after it ends:
// [rotation, scale factors] for a turn, [size, origin, rotation] for a resize, [crop size] for
// the crop window.
#include "Model/undoRedoClass.h"

undoValueList handleDragBeforeValues(bool rotate);
