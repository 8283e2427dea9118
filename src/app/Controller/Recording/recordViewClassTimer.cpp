// The elapsed time of a take: a count of the ticks of the one repeating timer, shown as
// hours, minutes and seconds. It never reads a clock; the composition's exact times come from
// the recording's start and the asset timings.
#include "Controller/Recording/recordViewClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "platform/ui/text_view.h"

using recordViewModule::globals;

namespace {

void showElapsedText(const std::string& text) {
    const auto& views = globals().recordingScreenViews;
    if (views && views->timerTextView)
        views->timerTextView->setString(text);
}

} // namespace

void recordViewClass::startTimer() {
    QRN_LOG_IN();
    auto& g = globals();
    if (!g.elapsedTimer)
        g.elapsedTimer =
            std::make_unique<qrn::RepeatingTimer>(1.0, 0.25, [] { recordViewClass().fireTimer(); });
    g.elapsedTimer->start();
    // The text keeps what it shows until the first tick.
    g.elapsedSeconds = 0;
}

void recordViewClass::fireTimer() {
    auto& g = globals();
    g.elapsedSeconds += 1;
    // Past 100:40:38 the timer stops and the text stays.
    if (g.elapsedSeconds == lastElapsedTick) {
        stopTimer();
        return;
    }
    const auto [hours, minutes, seconds] = secondsToHoursMinutesSecondsConversion(g.elapsedSeconds);
    showElapsedText(addZeroToTime(hours) + ":" + addZeroToTime(minutes) + ":" + addZeroToTime(seconds));
}

void recordViewClass::stopTimer() {
    QRN_LOG_IN(LogValues{{"elapsedSeconds", globals().elapsedSeconds}});
    if (globals().elapsedTimer)
        globals().elapsedTimer->stop();
}

void recordViewClass::resetTimerTextView() {
    QRN_LOG_IN();
    showElapsedText("00:00:00");
}

int recordViewClass::getElapsedSeconds() {
    return globals().elapsedSeconds;
}

bool recordViewClass::isTimerRunning() {
    return globals().elapsedTimer && globals().elapsedTimer->isValid();
}

recordViewClass::hoursMinutesSeconds recordViewClass::secondsToHoursMinutesSecondsConversion(int seconds) {
    return {seconds / 3600, (seconds % 3600) / 60, (seconds % 3600) % 60};
}

std::string recordViewClass::addZeroToTime(int value) {
    return value <= 9 ? "0" + std::to_string(value) : std::to_string(value);
}
