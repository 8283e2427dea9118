#pragma once
// Error values and the modal error alert.
#include <stdexcept>
#include <string>

// An error carrying a message (the domain and code of a data error).
struct qrnError : std::runtime_error {
    explicit qrnError(const std::string& message) : std::runtime_error(message) {}
    std::string domain = "NSCocoaErrorDomain";
    int code = 134060;
    const std::string localizedDescription() const { return what(); }
};

class throwClass {
  public:
    qrnError error(const std::string& message);
    // Shows a modal alert with the message; returns when the user dismisses it.
    void showError(const std::string& errorMessage);
};
