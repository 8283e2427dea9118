#include "Controller/Global/dataLoggingClass.h"

#include <cxxabi.h>

#include <cstdio>
#include <QByteArray>
#include <fstream>
#include <memory>
#include <sstream>

#include "Model/globalAppSettingsClass.h"
#include "platform/foundation/alerts.h"

namespace {

std::int64_t logCounterValue = 0;

// Source files of this program end in this extension; the log leaves it out.
const std::string kSourceExtension = ".cpp";
// The build maps the application's source root to this marker (see CMakeLists.txt).
const std::string kSourceRootMarker = "/QRN3/";

std::string trim(const std::string& s) {
    const char* ws = " \t\r\n\v\f";
    auto b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return "";
    auto e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

std::string describeValues(const LogValues& values) {
    if (values.empty())
        return "[:]";
    std::string out = "[";
    bool first = true;
    for (const auto& [key, value] : values) {
        if (!first)
            out += ", ";
        first = false;
        out += "\"" + key + "\": " + value.describe();
    }
    return out + "]";
}

} // namespace

std::string messageTypeRawValue(MessageType t) {
    switch (t) {
    case MessageType::message:
        return "Message";
    case MessageType::warning:
        return "Warning";
    case MessageType::error:
        return "Error";
    }
    return "";
}

std::optional<MessageType> messageTypeFromRawValue(const std::string& raw) {
    if (raw == "Message")
        return MessageType::message;
    if (raw == "Warning")
        return MessageType::warning;
    if (raw == "Error")
        return MessageType::error;
    return std::nullopt;
}

std::string logSenderDescription(const std::type_info& type, const void* address) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    std::string name = (status == 0 && demangled) ? demangled.get() : type.name();
    // Namespaces would read as the ":" that ends the type name.
    if (auto pos = name.rfind("::"); pos != std::string::npos)
        name = name.substr(pos + 2);
    char addr[32];
    std::snprintf(addr, sizeof addr, "%p", address);
    return "<QRN3." + name + ": " + addr + ">";
}

bool qrnLogsEnabled() {
    return globalAppSettingsClass().getShowLogs();
}

std::int64_t dataLoggingClass::logCounter() {
    return logCounterValue;
}

void dataLoggingClass::resetLogCounterForTesting() {
    logCounterValue = 0;
}

dataLoggingClass::SourceParts dataLoggingClass::formatLogSource(const std::string& sender,
                                                                const std::string& file,
                                                                const std::string& function) {
    SourceParts parts;

    std::string path = file;
    if (auto pos = path.find(kSourceRootMarker); pos != std::string::npos)
        path = path.substr(pos + kSourceRootMarker.size());
    path = "<" + path;
    if (auto pos = path.find(kSourceExtension); pos != std::string::npos)
        path = path.substr(0, pos);
    parts.path = path + " | ";

    std::string type = sender;
    if (auto pos = type.find('.'); pos != std::string::npos)
        type = type.substr(pos + 1);
    if (!type.empty())
        type.pop_back();
    if (auto pos = type.find(':'); pos != std::string::npos)
        type = type.substr(0, pos);
    parts.type = type + " | ";

    parts.function = function;
    return parts;
}

void dataLoggingClass::log(const std::string& sender, std::uint8_t stage, bool isPublic,
                           const std::optional<LogValues>& values, const std::string& file,
                           const std::string& function, int line) {
    if (!globalAppSettingsClass().getShowLogs())
        return;
    SourceParts parts = formatLogSource(sender, file, function);
    ++logCounterValue;

    std::string stageName = stage == 0 ? "Input" : stage == 1 ? "Intermediate" : "Output";
    std::string text = std::to_string(logCounterValue) + " [Stack trace] [" + stageName +
                       "] serial number: " + getMachineSerialNumber().value_or("Unknown") + " - " +
                       parts.path + parts.type + (isPublic ? "public" : "private") + " " + parts.function +
                       " | " + std::to_string(line) + "> ";
    if (values)
        text += " - Values: {" + describeValues(*values) + "}";
    qrn::writeLogLine(text);
}

void dataLoggingClass::logError(const std::string& sender, const std::optional<std::string>& message,
                                const std::string& file, const std::string& function) {
    if (!message || !globalAppSettingsClass().getShowLogs())
        return;
    // Error lines go beside the trace but do not advance its counter.
    SourceParts parts = formatLogSource(sender, file, function);
    qrn::writeLogLine("[Error] serial number: " + getMachineSerialNumber().value_or("Unknown") + " - " +
                      parts.path + parts.type + parts.function + " - Error message: {" + *message + "}");
}

std::optional<std::string> dataLoggingClass::getMachineSerialNumber() {
    const QByteArray path = qgetenv("QRN_SERIAL_NUMBER_FILE");
    std::ifstream in(path.isNull() ? "/sys/class/dmi/id/product_serial" : path.constData());
    if (!in)
        return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    std::string serial = trim(s.str());
    if (serial.empty())
        return std::nullopt;
    return serial;
}
