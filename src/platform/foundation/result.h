#pragma once
// Results of platform calls that can fail: a value or a readable message.
#include <optional>
#include <string>
#include <utility>

namespace qrn {

class [[nodiscard]] Status {
  public:
    Status() = default;
    static Status ok() { return Status(); }
    static Status failure(std::string message) {
        Status s;
        s.error_ = std::move(message);
        return s;
    }
    bool isOk() const { return !error_; }
    explicit operator bool() const { return isOk(); }
    const std::string& error() const { return *error_; }
    std::string errorOr(const std::string& fallback = {}) const { return error_ ? *error_ : fallback; }

  private:
    std::optional<std::string> error_;
};

template <typename T> class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Status failure) : error_(failure.isOk() ? std::string("unknown error") : failure.error()) {}
    static Result failure(std::string message) { return Result(Status::failure(std::move(message))); }

    bool isOk() const { return value_.has_value(); }
    explicit operator bool() const { return isOk(); }
    const T& value() const& { return *value_; }
    T& value() & { return *value_; }
    T&& value() && { return std::move(*value_); }
    const T* operator->() const { return &*value_; }
    const T& operator*() const { return *value_; }
    const std::string& error() const { return error_; }
    Status status() const { return isOk() ? Status::ok() : Status::failure(error_); }

  private:
    std::optional<T> value_;
    std::string error_;
};

} // namespace qrn
