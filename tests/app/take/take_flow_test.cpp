// One take from the record button to the saved movie, and every way of leaving it early.
#include <gtest/gtest.h>

#include <QColor>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/bundle_clips.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "platform/media/movie_reader.h"
#include "platform/media/movie_writer.h"
#include "platform/media/player_view.h"
#include "platform/ui/button.h"
#include "platform/ui/panels.h"
#include "platform/ui/view.h"
#include "take_fixture.h"

using namespace taketest;
namespace fs = std::filesystem;

namespace {

bool iconEnabled(const studioByHand& s, size_t i) {
    return s.button(i)->svgIconObj()->getIsButtonEnabled();
}

// Record, step at the given times, stop at `length` (times on the take's clock).
void recordTake(studioByHand& s, std::vector<double> steps, double length) {
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    ASSERT_TRUE(captureSessionClass().getStartedRecording());
    for (double t : steps) {
        recordingAt(t);
        recordViewClass().selectNextAsset();
    }
    recordingAt(length);
    recordViewClass().recordButtonPressed();
    (void)s;
}

QColor colourAt(const std::string& path, double t, int x = 960, int y = 540) {
    auto reader = qrn::media::VideoTrackReader::open(path);
    EXPECT_TRUE(reader);
    if (!reader)
        return {};
    auto frame = reader.value()->frameAt(t);
    EXPECT_TRUE(frame);
    if (!frame)
        return {};
    return QColor(reader.value()->image(frame.value()).pixel(x, y));
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

struct savePanelAnswer {
    std::vector<std::string> labels;
    explicit savePanelAnswer(std::optional<std::string> path) {
        qrn::setSavePanelPresenter([this, path](qrn::SavePanel& panel) {
            labels = {panel.settings.title, panel.settings.prompt, panel.settings.nameFieldLabel};
            EXPECT_FALSE(panel.settings.showsTagField);
            EXPECT_FALSE(panel.settings.canCreateDirectories);
            EXPECT_EQ(panel.settings.allowedTypes, std::vector<std::string>{"mov"});
            if (!path || !panel.choose(*path))
                return qrn::ModalResponse::cancel;
            return qrn::ModalResponse::ok;
        });
    }
    ~savePanelAnswer() { qrn::setSavePanelPresenter(nullptr); }
};

void saveProjectAs(const fs::path& package) {
    qrn::setSavePanelPresenter([&](qrn::SavePanel& panel) {
        return panel.choose(package.string()) ? qrn::ModalResponse::ok : qrn::ModalResponse::cancel;
    });
    fileMenuClass().saveAs(false);
    qrn::setSavePanelPresenter(nullptr);
}

} // namespace

TEST(TakeFlowStudioByHand, CountdownCancelledByASecondPressLeavesNoFile) {
    studioByHand s(2);
    s.open();
    recordViewClass().recordButtonPressed();
    captureSessionClass c;
    EXPECT_TRUE(c.getStartedRecordingTimer());
    EXPECT_FALSE(iconEnabled(s, 0));
    EXPECT_FALSE(s.views.playbackView->isHidden()); // the countdown clip
    ASSERT_FALSE(s.views.playbackView->layer()->sublayers().empty());
    qrn::MainQueue::advance(3.0);
    recordViewClass().recordButtonPressed();
    EXPECT_FALSE(c.getStartedRecordingTimer());
    EXPECT_TRUE(iconEnabled(s, 0));
    EXPECT_TRUE(s.views.playbackView->isHidden());
    qrn::MainQueue::advance(5.0);
    EXPECT_FALSE(c.getStartedRecording());
    EXPECT_TRUE(s.movies().empty());
    // The next press starts a new countdown.
    recordViewClass().recordButtonPressed();
    EXPECT_TRUE(c.getStartedRecordingTimer());
}

TEST(TakeFlowStudioByHand, ATakeIsComposedExportedPlayedAndSaved) {
    studioByHand s(2);
    s.open();
    captureSessionClass c;
    recordTake(s, {1.0}, 2.0);
    // Processing: the title bar offers dismiss, save waits for the movie, the button rests.
    EXPECT_TRUE(c.getProcessingRecording());
    EXPECT_FALSE(c.getStartedRecording());
    EXPECT_TRUE(s.button(0)->isHidden());
    EXPECT_FALSE(s.button(3)->isHidden());
    EXPECT_FALSE(iconEnabled(s, 4));
    recordViewClass().recordButtonPressed(); // does nothing while processing
    EXPECT_TRUE(c.getProcessingRecording());
    EXPECT_EQ(recordViewClass().getAssetTimingArray().size(), 3u);
    EXPECT_NEAR(recordViewClass().getAssetTimingArray().back(), 2.0, 0.05);

    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    EXPECT_FALSE(c.getProcessingRecording());
    EXPECT_FALSE(c.getStartedRecordingTimer());
    EXPECT_TRUE(iconEnabled(s, 4));
    EXPECT_FALSE(s.button(4)->isHidden());
    EXPECT_EQ(s.message(), "");
    // The recording is gone; the export is the one movie left.
    const auto movie = *recordViewClass().getPlaybackFileURL();
    EXPECT_EQ(s.movies(), std::vector<std::string>{fs::path(movie).filename().string()});
    auto info = qrn::media::loadMovieInfo(movie);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->naturalSize, (qrn::Size{1920, 1080}));
    EXPECT_NEAR(info->duration, 2.0, 0.1);
    // Each asset exactly while it was on screen.
    EXPECT_TRUE(near(colourAt(movie, 0.5), QColor(255, 0, 0))) << colourAt(movie, 0.5).name().toStdString();

    EXPECT_TRUE(near(colourAt(movie, 0.95), QColor(255, 0, 0)));
    EXPECT_TRUE(near(colourAt(movie, 1.05), QColor(0, 255, 0)));
    EXPECT_TRUE(near(colourAt(movie, 1.9), QColor(0, 255, 0)));
    // The layers are back in the studio, asset 1 on show again.
    EXPECT_EQ(s.holder(s.layerIds[1])->layer()->superlayerPointer(),
              s.holder(s.layerIds[1])->superview()->layer().get());
    EXPECT_FALSE(s.holder(s.layerIds[1])->isHidden());
    EXPECT_TRUE(s.holder(s.layerIds[2])->isHidden());
    EXPECT_FALSE(s.holder(s.layerIds[1])->layer()->animation("opacity"));
    // The player with its controls.
    ASSERT_FALSE(s.views.playbackView->subviews().empty());
    EXPECT_TRUE(std::dynamic_pointer_cast<qrn::media::PlayerView>(s.views.playbackView->subviews().back()));

    // Saved as "Take 1": the panel's own extension is not doubled.
    QTemporaryDir elsewhere;
    const std::string target = elsewhere.filePath("Take 1").toStdString();
    {
        savePanelAnswer answer(target);
        recordViewClass().saveRecording();
        EXPECT_EQ(answer.labels, (std::vector<std::string>{"Save recording", "Save", "Recording name"}));
    }
    EXPECT_TRUE(qrn::files::exists(target + ".mov"));
    EXPECT_FALSE(qrn::files::exists(target + ".mov.mov"));
    EXPECT_TRUE(s.movies().empty());
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
    EXPECT_FALSE(recordViewClass().isTimerRunning());
    EXPECT_FALSE(s.button(0)->isHidden());

    // The next take works and shows its layers live.
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    EXPECT_TRUE(c.getStartedRecording());
    EXPECT_FALSE(s.holder(s.layerIds[1])->isHidden());
    EXPECT_EQ(s.holder(s.layerIds[1])->layer()->presentationOpacity(0), 1);
}

TEST(TakeFlowStudioByHand, SavingOverAFileReplacesItAndAFailedMoveKeepsThePlayback) {
    studioByHand s(1);
    s.open();
    recordTake(s, {}, 1.0);
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    const auto movie = *recordViewClass().getPlaybackFileURL();
    QTemporaryDir elsewhere;
    // Cancel: both stay.
    {
        savePanelAnswer answer(std::nullopt);
        recordViewClass().saveRecording();
    }
    EXPECT_TRUE(recordViewClass().getPlaybackShown());
    EXPECT_TRUE(qrn::files::exists(movie));
    // A folder that cannot be written: an alert with the reason, and the playback stays for
    // another place to be chosen.
    {
        const std::string refused = elsewhere.filePath("Take 1.mov").toStdString();
        std::vector<std::string> alerts;
        qrn::setAlertPresenter([&](const std::string& m) { alerts.push_back(m); });
        qrn::files::setWriteFailureForTesting(
            [&](qrn::files::WriteStep, const qrn::files::Path& p) { return p == refused; });
        savePanelAnswer answer(refused);
        recordViewClass().saveRecording();
        qrn::files::setWriteFailureForTesting(nullptr);
        qrn::setAlertPresenter(nullptr);
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0], "The recording could not be saved as \"" + refused +
                                 "\": Permission denied. Choose another place to save it.");
        EXPECT_FALSE(qrn::files::exists(refused));
    }
    EXPECT_TRUE(recordViewClass().getPlaybackShown());
    EXPECT_TRUE(qrn::files::exists(movie));
    // An existing file, confirmed in the panel, is replaced; its extension in capitals is a
    // movie's all the same, so the file asked about is the one written.
    const std::string target = elsewhere.filePath("Take 1.MOV").toStdString();
    ASSERT_TRUE(qrn::files::replaceAtomically(target, "an older take"));
    {
        savePanelAnswer answer(target);
        recordViewClass().saveRecording();
    }
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
    EXPECT_TRUE(qrn::media::loadMovieInfo(target));
    EXPECT_FALSE(qrn::files::exists(target + ".mov"));
    EXPECT_FALSE(qrn::files::exists(movie));
}

// The save panel pointed at the take's own movie in the project folder: the take is saved
// there already and stays; the studio goes back to idle as after any save.
TEST(TakeFlowStudioByHand, SavingATakeOverItsOwnMovieKeepsIt) {
    studioByHand s(1);
    s.open();
    recordTake(s, {}, 1.0);
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    const auto movie = *recordViewClass().getPlaybackFileURL();
    {
        savePanelAnswer answer(movie);
        recordViewClass().saveRecording();
    }
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
    auto info = qrn::media::loadMovieInfo(movie);
    ASSERT_TRUE(info) << "the take was deleted";
    EXPECT_NEAR(info->duration, 1.0, 0.1);
}

TEST(TakeFlowStudioByHand, ATakeInAFolderThatMayNotBeWrittenIsSavedAsACopy) {
    studioByHand s(1);
    s.open();
    recordTake(s, {}, 1.0);
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    QTemporaryDir elsewhere;
    const std::string target = elsewhere.filePath("Take 1.mov").toStdString();
    // The movie cannot be renamed out of the project folder (its folder refuses), but the
    // chosen place takes a copy.
    int renames = 0;
    std::vector<std::string> alerts;
    qrn::setAlertPresenter([&](const std::string& m) { alerts.push_back(m); });
    qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path& p) {
        return step == qrn::files::WriteStep::Rename && p == target && renames++ == 0;
    });
    {
        savePanelAnswer answer(target);
        recordViewClass().saveRecording();
    }
    qrn::files::setWriteFailureForTesting(nullptr);
    qrn::setAlertPresenter(nullptr);
    EXPECT_TRUE(alerts.empty()) << alerts.front();
    auto info = qrn::media::loadMovieInfo(target);
    ASSERT_TRUE(info);
    EXPECT_NEAR(info->duration, 1.0, 0.1);
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
}

// Save As with a take on show, recording, or having its movie made: once the take is dismissed
// no movie the presenter never saw is left in the new package, and the old package keeps what it
// had (the take on show was copied with it and stays there).
TEST(TakeFlowStudioByHand, SaveAsWithATakeUnderWayOrOnShowLeavesNoUnseenMovieInTheNewPackage) {
    for (const std::string when : {"on show", "recording", "making the movie"}) {
        SCOPED_TRACE(when);
        studioByHand s(1);
        s.open();
        QTemporaryDir elsewhere;
        const fs::path copy = elsewhere.filePath("Copy.qrn3ks").toStdString();
        std::vector<std::string> oldPackage;
        if (when == "on show") {
            std::ofstream(s.project.filePath("kept.mov").toStdString()) << "a take kept earlier";
            recordTake(s, {}, 1.0);
            ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
            const auto onShow = fs::path(*recordViewClass().getPlaybackFileURL()).filename().string();
            saveProjectAs(copy);
            ASSERT_TRUE(fs::exists(copy / onShow));
            oldPackage = {"kept.mov", onShow};
        } else {
            recordViewClass().recordButtonPressed();
            qrn::MainQueue::advance(4.5);
            recordingAt(2.0);
            if (when == "recording")
                saveProjectAs(copy);
            recordingAt(3.0);
            recordViewClass().recordButtonPressed();
            if (when == "making the movie") {
                qrn::MainQueue::advance(0.1);
                ASSERT_TRUE(captureSessionClass().getProcessingRecording());
                saveProjectAs(copy);
            }
        }
        ASSERT_EQ(persistentDataStorageClass().getProjectDirectory(), copy.string());
        ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
        recordViewClass().dismissPlaybackCheck();
        EXPECT_FALSE(recordViewClass().getPlaybackShown());
        if (when == "on show")
            EXPECT_TRUE(fs::exists(copy / "kept.mov"));
        for (const auto& entry : fs::directory_iterator(copy))
            if (entry.path().filename() != "kept.mov")
                EXPECT_NE(entry.path().extension(), ".mov") << entry.path();
        auto old = s.movies();
        std::sort(old.begin(), old.end());
        std::sort(oldPackage.begin(), oldPackage.end());
        EXPECT_EQ(old, oldPackage) << "the old package as it was";
        qrn::MainQueue::advance(1.0);
    }
}

TEST(TakeFlowStudioByHand, DismissWhileProcessingLeavesNoFileAndNoSession) {
    studioByHand s(2);
    s.open();
    captureSessionClass c;
    // In the 0.1 s before the export: no session is made.
    recordTake(s, {0.5}, 1.0);
    ASSERT_TRUE(c.getProcessingRecording());
    EXPECT_TRUE(c.getLayersLent());
    recordViewClass().dismissPlaybackCheck();
    EXPECT_FALSE(iconEnabled(s, 3));
    EXPECT_FALSE(iconEnabled(s, 4));
    qrn::MainQueue::advance(0.1);
    EXPECT_FALSE(c.getExportSession());
    qrn::MainQueue::advance(0.2);
    EXPECT_FALSE(c.getProcessingRecording());
    EXPECT_FALSE(c.getLayersLent());
    EXPECT_TRUE(s.movies().empty());
    EXPECT_EQ(s.message(), "");
    EXPECT_FALSE(s.button(0)->isHidden());

    // Mid-export: cancelled, and the studio resets once it has ended.
    recordTake(s, {0.5}, 3.0);
    qrn::MainQueue::advance(0.1);
    ASSERT_TRUE(c.getExportSession());
    recordViewClass().dismissPlaybackCheck();
    qrn::MainQueue::advance(0.2);
    ASSERT_TRUE(pumpUntil([&] { return !c.getProcessingRecording(); }));
    EXPECT_FALSE(c.getExportSession());
    EXPECT_FALSE(c.getLayersLent());
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
    EXPECT_TRUE(s.movies().empty());
    // The layers are back where they belong.
    EXPECT_EQ(s.holder(s.layerIds[2])->layer()->superlayerPointer(),
              s.holder(s.layerIds[2])->superview()->layer().get());
}

TEST(TakeFlowStudioByHand, ClosingTheStudioMidExportKeepsTheRecordingNoHalfMovieNoWorkerAndTheViewsBack) {
    studioByHand s(2);
    s.open();
    captureSessionClass c;
    recordTake(s, {0.5}, 3.0);
    qrn::MainQueue::advance(0.1);
    ASSERT_TRUE(c.getExportSession());
    const std::string recording = fs::path(*c.getOutputURL()).filename().string();
    const auto holder = s.holder(s.layerIds[1]);
    recordViewClass().clearClass();
    EXPECT_FALSE(c.getExportSession());
    EXPECT_FALSE(c.getProcessingRecording());
    // The take stays; the movie the export had begun does not pass for a finished one.
    EXPECT_EQ(s.movies(), std::vector<std::string>{recording});
    // Taken back before the studio let the views go: the export's tree holds none of them.
    EXPECT_EQ(holder->layer()->superlayerPointer(),
              holder->superview() ? holder->superview()->layer().get() : nullptr);
    s.sync(); // the studio emptied itself; the test keeps its views
    // A late completion finds nothing to do, nor does the output's late report.
    qrn::MainQueue::advance(1);
    qrn::MainQueue::runPending();
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
    EXPECT_EQ(s.movies(), std::vector<std::string>{recording});
    (void)qrn::files::remove(s.project.path().toStdString() + "/" + recording);

    // In the countdown: it stops and nothing is recorded.
    recordViewClass().recordButtonPressed();
    recordViewClass().clearClass();
    EXPECT_FALSE(c.getStartedRecordingTimer());
    qrn::MainQueue::advance(5);
    EXPECT_FALSE(c.getStartedRecording());
    EXPECT_TRUE(s.movies().empty());
}

TEST(TakeFlowStudioByHand, BrokenRecordingsSayWhyAndReturnToTheStart) {
    studioByHand s(1);
    s.open();
    captureSessionClass c;
    auto breakRecording = [&](const std::function<void(const std::string&)>& replace) {
        recordViewClass().recordButtonPressed();
        qrn::MainQueue::advance(4.5);
        ASSERT_TRUE(c.getOutputURL());
        replace(*c.getOutputURL());
        recordingAt(1.0);
        recordViewClass().recordButtonPressed();
        EXPECT_FALSE(c.getProcessingRecording());
        EXPECT_FALSE(c.getStartedRecordingTimer());
        EXPECT_FALSE(c.getLayersLent());
        EXPECT_TRUE(s.movies().empty());
        EXPECT_FALSE(s.button(0)->isHidden());
    };
    // Not a movie at all.
    breakRecording([](const std::string& path) { ASSERT_TRUE(qrn::files::replaceAtomically(path, "junk")); });
    EXPECT_EQ(s.message(), "Unable to load video track");
    // A movie without sound.
    breakRecording([](const std::string& path) {
        qrn::media::MovieWriterSettings settings;
        settings.width = 64;
        settings.height = 36;
        settings.hasAudio = false;
        settings.preset = "ultrafast";
        auto writer = qrn::media::MovieWriter::create(path + ".tmp.mov", settings).value();
        QImage image(64, 36, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::gray);
        for (int i = 0; i < 60; ++i)
            ASSERT_TRUE(writer->appendImage(image, i / 30.0));
        ASSERT_TRUE(writer->finish());
        ASSERT_TRUE(qrn::files::move(path + ".tmp.mov", path));
    });
    EXPECT_EQ(s.message(), "Unable to load audio track");
    // The next take still works.
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    EXPECT_TRUE(c.getStartedRecording());
}

TEST(TakeFlowStudioByHand, NoProjectFolderSaysSoAndGoesBackToIdle) {
    studioByHand s(1);
    s.open();
    persistentDataStorageClass().setProjectDirectory("");
    captureSessionClass c;
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    EXPECT_EQ(s.message(), "Something went wrong. Please try again");
    EXPECT_FALSE(c.getStartedRecordingTimer());
    EXPECT_FALSE(c.getStartedRecording());
    EXPECT_TRUE(iconEnabled(s, 0));
    // The next press starts a countdown, not a cancel.
    recordViewClass().recordButtonPressed();
    EXPECT_TRUE(c.getStartedRecordingTimer());
}

TEST(TakeFlowStudioByHand, TempFilesReplaceWhatIsThereAndLongStandInTakesComposeWhatWasRecorded) {
    studioByHand s(1);
    captureSessionClass c;
    const std::string dir = s.project.path().toStdString() + "/";
    ASSERT_TRUE(qrn::files::replaceAtomically(dir + "A.mov", "old"));
    auto url = c.tempURL("A", "mov", dir);
    ASSERT_TRUE(url);
    EXPECT_EQ(*url, dir + "A.mov");
    EXPECT_FALSE(qrn::files::exists(*url));
    EXPECT_EQ(*c.tempURL("B", std::nullopt, dir), dir + "B");
    EXPECT_FALSE(c.tempURL("A", "mov", ""));

    auto standIn = qrn::media::bundleResourcePath("movie", "mov");
    ASSERT_TRUE(standIn);
    auto asset = qrn::media::MovieAsset::load(*standIn);
    ASSERT_TRUE(asset);
    auto composed = c.createMutableCompositionFromAsset(asset.value(), 65.0);
    EXPECT_NEAR(composed.composition->duration(), asset->info.duration, 0.1);
    EXPECT_LE(composed.composition->duration(), 60.1);
}

TEST(TakeFlowStudioByHand, CancelCounterWrapsAndAPendingDismissDoesNotOutliveItsTake) {
    studioByHand s(1);
    s.open();
    recordViewClass r;
    for (int i = 0; i < 9999; ++i)
        r.incrementCancelledRecordingCheck();
    EXPECT_EQ(r.getCancelledRecordingCheck(), 9999);
    r.incrementCancelledRecordingCheck();
    EXPECT_EQ(r.getCancelledRecordingCheck(), 0);
    // Dismiss with nothing to dismiss marks it pending; the next take forgets it and ends in
    // its playback.
    r.dismissPlaybackCheck();
    EXPECT_TRUE(r.getDismissPlaybackPending());
    recordTake(s, {}, 1.0);
    EXPECT_FALSE(r.getDismissPlaybackPending());
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    qrn::MainQueue::advance(0.5);
    EXPECT_TRUE(r.getPlaybackShown());
    // The record button now only dismisses; the next press counts down.
    r.recordButtonPressed();
    EXPECT_FALSE(r.getPlaybackShown());
    EXPECT_TRUE(s.movies().empty());
    r.recordButtonPressed();
    EXPECT_TRUE(captureSessionClass().getStartedRecordingTimer());
}

TEST(TakeFlowStudioByHand, AFailedExportKeepsTheRecordingForgetsThePendingDismissAndTheNextTakePlays) {
    studioByHand s(2);
    s.open();
    captureSessionClass c;
    recordViewClass r;
    r.recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    ASSERT_TRUE(c.getStartedRecording());
    // A dismiss asked for while recording waits for the take's playback.
    r.dismissPlaybackCheck();
    EXPECT_TRUE(r.getDismissPlaybackPending());
    recordingAt(0.5);
    r.selectNextAsset();
    recordingAt(1.0);
    r.recordButtonPressed();
    ASSERT_TRUE(c.getProcessingRecording());
    // The take is composed; the recording goes bad before the export reads it.
    ASSERT_TRUE(c.getOutputURL());
    ASSERT_TRUE(qrn::files::replaceAtomically(*c.getOutputURL(), "junk"));
    ASSERT_TRUE(pumpUntil([&] { return !c.getProcessingRecording(); }));
    EXPECT_EQ(s.message(), "Unable to export video");
    EXPECT_FALSE(r.getPlaybackShown());
    EXPECT_FALSE(r.getDismissPlaybackPending());
    EXPECT_FALSE(c.getExportSession());
    EXPECT_FALSE(c.getLayersLent());
    // The recording stays; the movie begun from it does not.
    ASSERT_EQ(s.movies().size(), 1u);
    const std::string kept = s.movies()[0];
    EXPECT_EQ(kept, fs::path(*c.getOutputURL()).filename().string());
    EXPECT_FALSE(s.button(0)->isHidden());

    // The next take records, composes and stays on show.
    recordTake(s, {0.5}, 1.0);
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    qrn::MainQueue::advance(0.5);
    EXPECT_TRUE(r.getPlaybackShown());
    ASSERT_TRUE(r.getPlaybackFileURL());
    const std::string movie = *r.getPlaybackFileURL();
    auto movies = s.movies();
    std::sort(movies.begin(), movies.end());
    auto expected = std::vector<std::string>{kept, fs::path(movie).filename().string()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(movies, expected);
    EXPECT_TRUE(near(colourAt(movie, 0.25), QColor(255, 0, 0)));
    EXPECT_TRUE(near(colourAt(movie, 0.75), QColor(0, 255, 0)));
}

TEST(TakeFlowStudioByHand, AResizeMidExportLeavesTheLentViewsAloneAndRefitsOnceTheyAreBack) {
    studioByHand s(2);
    s.open();
    captureSessionClass c;
    recordTake(s, {0.5}, 2.0);
    qrn::MainQueue::advance(0.1);
    ASSERT_TRUE(c.getExportSession());
    ASSERT_TRUE(c.getLayersLent());
    auto holder = s.holder(s.layerIds[1]);
    const auto lentFrame = holder->layer()->frame();
    // The window shrinks while the export draws: nothing moves under its threads.
    recordViewClass().resizeAndPositionLayers(true, qrn::Rect(0, 0, 278, 156));
    EXPECT_EQ(holder->layer()->frame(), lentFrame);
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    EXPECT_FALSE(c.getLayersLent());
    // Back in the studio and fitted to it again, not left at the movie's size.
    qrn::MainQueue::advance(0.2);
    EXPECT_NE(holder->layer()->frame(), lentFrame);
    EXPECT_EQ(holder->layer()->superlayerPointer(), holder->superview()->layer().get());
}

// The camera is not laid out for the movie, the layers are: when the window changed while they
// were away, both follow it from where the studio had them.
TEST(TakeFlowStudioByHand, AWindowResizedMidExportTakesTheCameraAlongWithTheLayers) {
    studioByHand s(2);
    s.open();
    captureSessionClass c;
    previewLayerClass model;
    const qrn::Rect before = s.views.recordingView->bounds();
    recordViewClass().resizeAndPositionLayers(true, before);
    const auto video = model.getVideoOriginSizeArray();
    const auto layer = model.getLayerOriginSizeArray()[1][0];
    ASSERT_EQ(video.size(), 4u);
    ASSERT_EQ(layer.size(), 4u);

    recordTake(s, {0.5}, 2.0);
    qrn::MainQueue::advance(0.1);
    ASSERT_TRUE(c.getLayersLent());
    // The window grows while the export draws, as the studio's resize handler refits.
    s.views.recordingView->setFrameSize({before.width() * 1.5, before.height() * 1.5});
    recordViewClass().resizeAndPositionLayers(true, s.views.recordingView->bounds());
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    qrn::MainQueue::advance(0.2);
    EXPECT_FALSE(c.getLayersLent());

    const auto videoAfter = model.getVideoOriginSizeArray();
    const auto layerAfter = model.getLayerOriginSizeArray()[1][0];
    ASSERT_EQ(videoAfter.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(videoAfter[i], video[i] * 1.5, 1e-6) << i;
        EXPECT_NEAR(layerAfter[i], layer[i] * 1.5, 1e-6) << i;
    }
    recordViewClass().dismissPlaybackCheck();
}

namespace {

// Starts a take, steps at `step` and waits until the export that follows it has made the
// frames before the step; returns that export.
std::shared_ptr<qrn::media::ExportSession> recordWhileExporting(double step) {
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    recordingAt(step);
    recordViewClass().selectNextAsset();
    auto background = captureSessionClass().getBackgroundExport();
    EXPECT_TRUE(background);
    if (background)
        EXPECT_TRUE(pumpUntil([&] { return background->framesWritten() >= int(step * 60); }));
    return background;
}

} // namespace

TEST(TakeFlowStudioByHand, TheMovieMadeDuringTheTakeIsTheOneTheStopWouldMake) {
    studioByHand s(3);
    s.open();
    const auto background = recordWhileExporting(0.5);
    ASSERT_TRUE(background);
    const int madeBeforeTheStop = background->framesWritten();
    // Stopped well past where the take has gone while the export caught up.
    const double end = qrn::media::captureClock() - *recordViewClass().getRecordingStartDate() + 0.5;
    recordingAt(end);
    recordViewClass().recordButtonPressed();
    const auto timing = recordViewClass().getAssetTimingArray();
    ASSERT_EQ(timing.size(), 3u);
    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    const std::string during = *recordViewClass().getPlaybackFileURL();
    QTemporaryDir kept;
    const std::string first = kept.filePath("during.mov").toStdString();
    ASSERT_TRUE(qrn::files::copyFile(during, first));
    EXPECT_GE(madeBeforeTheStop, 30);

    // The same take, exported only after its stop.
    recordViewClass().dismissPlaybackCheck();
    captureSessionClass::setBackgroundExportsForTesting(false);
    recordTake(s, {timing[1]}, timing.back());

    ASSERT_TRUE(pumpUntil([] { return recordViewClass().getPlaybackShown(); }));
    const std::string second = *recordViewClass().getPlaybackFileURL();

    ASSERT_NE(first, second);
    auto a = qrn::media::VideoTrackReader::open(first).value();
    auto b = qrn::media::VideoTrackReader::open(second).value();
    int frames = 0;
    double shown = 0; // a picture like the one before lengthens its sample
    while (true) {
        auto fa = a->next().value(), fb = b->next().value();
        ASSERT_EQ(fa.has_value(), fb.has_value()) << "frame " << frames;
        if (!fa)
            break;
        ASSERT_EQ(a->image(*fa), b->image(*fb)) << "frame " << frames;
        ASSERT_NEAR(fa->time, fb->time, 1e-6) << "frame " << frames;
        shown = fa->time + fa->duration;
        ++frames;
    }
    EXPECT_NEAR(shown, std::ceil(timing.back() * 60 - 1e-6) / 60, 1e-3);
    // The cut is where the step was.
    EXPECT_TRUE(near(colourAt(first, 0.45), QColor(255, 0, 0)));
    EXPECT_TRUE(near(colourAt(first, 0.55), QColor(0, 255, 0)));
}

TEST(TakeFlowStudioByHand, ATakeLeftWhileRecordingKeepsTheRecordingAndThrowsAwayTheMovieMadeSoFar) {
    studioByHand s(2);
    s.open();
    const auto background = recordWhileExporting(0.5);
    ASSERT_TRUE(background);
    ASSERT_EQ(s.movies().size(), 2u); // the recording and the movie being made
    recordViewClass().clearClass();
    EXPECT_FALSE(captureSessionClass().getBackgroundExport());
    ASSERT_TRUE(pumpUntil([&] { return background->status() == qrn::media::ExportStatus::Cancelled; }));
    // The recording is kept; only the movie made from it goes.
    EXPECT_EQ(s.movies().size(), 1u);
    qrn::MainQueue::advance(1);
    qrn::MainQueue::runPending();
    EXPECT_FALSE(recordViewClass().getPlaybackShown());
}
