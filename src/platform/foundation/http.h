#pragma once
// HTTP on the main thread: one network manager, requests that complete exactly once on the
// main queue (unless cancelled first, when they never complete).
#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qrn {

class Http {
  public:
    using RequestId = std::uint64_t;

    // HEAD with redirects followed: true only when the final answer is HTTP 200. No answer
    // within timeoutSeconds gives false.
    static RequestId head(const std::string& url, double timeoutSeconds, std::function<void(bool ok)> done);
    // GET of at most maxBytes: the body of a final HTTP 200, else nothing. A longer body is
    // refused (nothing) as soon as it passes the cap.
    static RequestId get(const std::string& url, double timeoutSeconds, std::int64_t maxBytes,
                         std::function<void(std::optional<QByteArray> body)> done);
    // Aborts a request; its completion is dropped.
    static void cancel(RequestId id);
};

} // namespace qrn
