#pragma once
// The tag of the symbol tile being dragged, for the drop side: none for a picture tile or when
// no drag is under way.
#include <optional>

class iconViewClass {
  public:
    void setTag(std::optional<int> tag);
    std::optional<int> getTag();
};
