#pragma once
// The trace log: one line on standard output per logged call, only while the setting
// `showLogs` is on. Every operation logs its entry (stage 0), optionally intermediate points
// (stage 1) and its exit (stage 2).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <typeinfo>

#include "platform/foundation/value.h"

// Named values of a log line, printed in key order.
using LogValues = std::map<std::string, qrn::Value>;

enum class MessageType { message, warning, error };
// "Message", "Warning", "Error"; any other text gives no case.
std::string messageTypeRawValue(MessageType t);
std::optional<MessageType> messageTypeFromRawValue(const std::string& raw);

// The textual description of a sender object: "<QRN3.typeName: 0x...>".
std::string logSenderDescription(const std::type_info& type, const void* address);
template <typename T> std::string logSender(const T* sender) {
    return logSenderDescription(typeid(*sender), sender);
}

class dataLoggingClass {
  public:
    struct SourceParts {
        std::string path, type, function;
    };

    // sender: the caller's description (see logSender); stage: 0 Input, 1 Intermediate,
    // 2 (or anything else) Output.
    void log(const std::string& sender, std::uint8_t stage, bool isPublic,
             const std::optional<LogValues>& values, const std::string& file, const std::string& function,
             int line);
    SourceParts formatLogSource(const std::string& sender, const std::string& file,
                                const std::string& function);
    void logError(const std::string& sender, const std::optional<std::string>& message,
                  const std::string& file, const std::string& function);
    // The machine's serial number (DMI product serial), none when unreadable.
    std::optional<std::string> getMachineSerialNumber();

    // Lines printed so far in this process.
    static std::int64_t logCounter();
    static void resetLogCounterForTesting();
};

inline std::optional<LogValues> qrnLogValues() {
    return std::nullopt;
}
inline std::optional<LogValues> qrnLogValues(std::nullopt_t) {
    return std::nullopt;
}
inline std::optional<LogValues> qrnLogValues(LogValues v) {
    return v;
}
inline std::optional<LogValues> qrnLogValues(std::optional<LogValues> v) {
    return v;
}
bool qrnLogsEnabled();

// Log helpers for member functions of the application's classes. The values are only built
// when the log is on:  QRN_LOG_IN({{"assetIndex", 3}});  QRN_LOG_OUT();
#define QRN_LOG_AT(stage, isPublic, ...)                                                                     \
    do {                                                                                                     \
        if (qrnLogsEnabled())                                                                                \
            dataLoggingClass().log(logSender(this), (stage), (isPublic), qrnLogValues(__VA_ARGS__),          \
                                   __FILE__, __func__, __LINE__);                                            \
    } while (0)
#define QRN_LOG_IN(...) QRN_LOG_AT(0, true, __VA_ARGS__)
#define QRN_LOG_MID(...) QRN_LOG_AT(1, true, __VA_ARGS__)
#define QRN_LOG_OUT(...) QRN_LOG_AT(2, true, __VA_ARGS__)
#define QRN_LOG_ERROR(message) dataLoggingClass().logError(logSender(this), (message), __FILE__, __func__)
