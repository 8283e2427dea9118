#pragma once
// Image kinds of dropped data, the drag types every image drop target accepts, and the check
// that a dropped URL can be read.
#include <QByteArray>

#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class imageFormat { unknown, png, jpg, gif, tiff };

// "unknown", "png", "jpg", "gif", "tiff"; from any other text, nothing.
std::string imageFormatRawValue(imageFormat format);
std::optional<imageFormat> imageFormatFromRawValue(const std::string& raw);
// Decided by the first byte only; empty data is unknown.
imageFormat imageFormatOfData(const QByteArray& data);
// The file-URL type, then the generic data type.
const std::vector<std::string>& imagePasteboardTypes();

class imageClass {
  public:
    // A file URL answers true at once, before the call returns. Any other URL is asked with
    // HEAD; the completion runs once on the main queue, true only for a final HTTP 200.
    void verifyURL(const std::string& url, std::function<void(bool usable)> completion);
    // Tests shorten the wait for a silent server; 60 s otherwise.
    static void setRequestTimeout(double seconds);
};
