#include <gtest/gtest.h>

#include <vector>

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/foundation/alerts.h"
#include "support/log_capture.h"

namespace {

class previewLayerClass {
  public:
    void clearClass() {
        QRN_LOG_IN();
        QRN_LOG_MID({{"assetIndex", 3}});
        QRN_LOG_AT(5, false);
    }
};

class TraceLog : public qrn::test::LogCapture {
  protected:
    std::string serial() { return dataLoggingClass().getMachineSerialNumber().value_or("Unknown"); }
};

} // namespace

TEST_F(TraceLog, PrintsTheLineInEachStageWithACounter) {
    previewLayerClass().clearClass();
    ASSERT_EQ(lines.size(), 3u);
    std::string head = " serial number: " + serial() + " - <";
    EXPECT_EQ(lines[0].rfind("1 [Stack trace] [Input]" + head, 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("tests/app/global/logging_test | previewLayerClass | public clearClass | "),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[0].back(), ' ');
    EXPECT_EQ(lines[1].rfind("2 [Stack trace] [Intermediate]", 0), 0u);
    EXPECT_TRUE(lines[1].ends_with(">  - Values: {[\"assetIndex\": 3]}")) << lines[1];
    // Unknown stages print as Output; private calls say so.
    EXPECT_EQ(lines[2].rfind("3 [Stack trace] [Output]", 0), 0u);
    EXPECT_NE(lines[2].find("| private clearClass |"), std::string::npos);
    EXPECT_EQ(dataLoggingClass::logCounter(), 3);
}

TEST_F(TraceLog, PrintsNothingAndKeepsTheCounterWhenLogsAreOff) {
    globalAppSettingsClass::setShowLogsForTesting(false);
    previewLayerClass().clearClass();
    dataLoggingClass().log("<QRN3.x: 0x1>", 0, true, std::nullopt, "f.cpp", "g", 1);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(dataLoggingClass::logCounter(), 0);
    // The settings getters log nothing by default either.
    EXPECT_TRUE(globalAppSettingsClass().getSaveOnUserAction());
    EXPECT_TRUE(lines.empty());
}

TEST_F(TraceLog, ExactLineForAnAppSourceFile) {
    dataLoggingClass().log("<QRN3.previewLayerClass: 0x600000>", 0, true, std::nullopt,
                           "/QRN3/Controller/Editing/Preview/previewLayerClass.cpp", "clearClass(_:)", 88);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "1 [Stack trace] [Input] serial number: " + serial() +
                            " - <Controller/Editing/Preview/previewLayerClass | previewLayerClass | public "
                            "clearClass(_:) | 88> ");
}

TEST(LogSource, PathAndTypePartsForUnusualInputs) {
    dataLoggingClass log;
    // No source-root marker: the whole path; no extension: its end is kept.
    auto p = log.formatLogSource("<QRN3.a: 0x1>", "/usr/src/other/thing.h", "f");
    EXPECT_EQ(p.path, "</usr/src/other/thing.h | ");
    // A description without "." keeps all but its last character, cut at the first ":".
    EXPECT_EQ(log.formatLogSource("plainSender:tail!", "x", "f").type, "plainSender | ");
    EXPECT_EQ(log.formatLogSource("noColonX", "x", "f").type, "noColon | ");
    EXPECT_EQ(log.formatLogSource("", "x", "f").type, " | ");
    EXPECT_EQ(logSenderDescription(typeid(throwClass), nullptr).rfind("<QRN3.throwClass: ", 0), 0u);
}

TEST(MessageTypes, RawValuesRoundTripAndUnknownTextGivesNone) {
    for (auto t : {MessageType::message, MessageType::warning, MessageType::error})
        EXPECT_EQ(messageTypeFromRawValue(messageTypeRawValue(t)), t);
    EXPECT_EQ(messageTypeRawValue(MessageType::warning), "Warning");
    EXPECT_FALSE(messageTypeFromRawValue("warning"));
}

TEST(ThrowClass, ErrorCarriesTheMessageAndShowErrorRaisesOneAlert) {
    std::vector<std::string> alerts;
    qrn::setAlertPresenter([&](const std::string& m) { alerts.push_back(m); });
    qrnError e = throwClass().error("Unable to create image");
    EXPECT_STREQ(e.what(), "Unable to create image");
    EXPECT_EQ(e.domain, "NSCocoaErrorDomain");
    EXPECT_EQ(e.code, 134060);
    EXPECT_TRUE(alerts.empty());
    throwClass().showError("Project Failed to Load");
    EXPECT_EQ(alerts, std::vector<std::string>{"Project Failed to Load"});
    qrn::setAlertPresenter(nullptr);
}
