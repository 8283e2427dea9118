#include "platform/foundation/colour.h"

#include <QFile>

#include <map>

#include "platform/foundation/json.h"

namespace qrn {

namespace {

struct Entry {
    Colour light, dark;
};

std::optional<Colour> parseHex(const std::string& text) {
    if (text.size() != 9 || text[0] != '#')
        return std::nullopt;
    unsigned v = 0;
    for (size_t i = 1; i < 9; ++i) {
        char c = text[i];
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return Colour{((v >> 24) & 0xFF) / 255.0, ((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0,
                  (v & 0xFF) / 255.0};
}

const std::map<std::string, Entry>& table() {
    static const std::map<std::string, Entry> entries = [] {
        std::map<std::string, Entry> out;
        QFile f(":/colours/named_colours.json");
        if (!f.open(QIODevice::ReadOnly))
            return out;
        auto parsed = json::parse(f.readAll().toStdString());
        if (!parsed || !parsed->is_object())
            return out;
        for (auto& [name, value] : parsed->items()) {
            auto light = parseHex(value.value("light", ""));
            auto dark = parseHex(value.value("dark", ""));
            if (light && dark)
                out[name] = Entry{*light, *dark};
        }
        return out;
    }();
    return entries;
}

} // namespace

std::optional<Colour> namedColour(const std::string& name, bool dark) {
    auto it = table().find(name);
    if (it == table().end())
        return std::nullopt;
    return dark ? it->second.dark : it->second.light;
}

std::vector<std::string> namedColourNames() {
    std::vector<std::string> names;
    for (const auto& [name, entry] : table())
        names.push_back(name);
    return names;
}

} // namespace qrn
