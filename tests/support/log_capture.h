#pragma once
// A fixture that turns the trace log on and collects its lines instead of printing them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Model/globalAppSettingsClass.h"
#include "platform/foundation/alerts.h"

namespace qrn::test {

class LogCapture : public ::testing::Test {
  protected:
    std::vector<std::string> lines;
    void SetUp() override {
        qrn::setLogSinkForTesting([this](const std::string& l) { lines.push_back(l); });
        globalAppSettingsClass::setShowLogsForTesting(true);
    }
    void TearDown() override {
        qrn::setLogSinkForTesting(nullptr);
        globalAppSettingsClass::setShowLogsForTesting(false);
    }
};

} // namespace qrn::test
