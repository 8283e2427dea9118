#pragma once
// A key-value store of small preferences (arrays, strings, numbers, bools).
// The application keeps it in QSettings; tests keep it in memory.
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace qrn {

class UserDefaults {
  public:
    static UserDefaults& standard();
    // Switches the standard store to an empty in-memory one. For tests.
    static void useMemoryStore();
    // Switches the standard store to QSettings (organisation "QRN", application "QRN").
    static void usePersistentStore();

    virtual ~UserDefaults() = default;
    virtual Value value(const std::string& key) const = 0;
    virtual void set(const std::string& key, const Value& v) = 0;
    virtual void remove(const std::string& key) = 0;

    bool has(const std::string& key) const { return !value(key).isEmpty(); }
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<Value::List> arrayForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const { return value(key).toBool(false); }
};

} // namespace qrn
