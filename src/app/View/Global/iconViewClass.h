#pragma once
// The symbol tile being dragged, for the drop side: its tag (none for a picture tile or when no
// drag is under way), and for a picture tile the name of its picture or, for a picture read from
// an address, that address.
#include <QUrl>

#include <optional>
#include <string>

class iconViewClass {
  public:
    void setTag(std::optional<int> tag);
    std::optional<int> getTag();
    void setName(std::optional<std::string> name);
    std::optional<std::string> getName();
    void setURL(std::optional<QUrl> url);
    std::optional<QUrl> getURL();
};
