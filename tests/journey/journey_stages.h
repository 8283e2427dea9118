#pragma once
// The journey's stages, in the order a presenter takes them. Each stage drives the app through
// journey_driver.h and checks what a presenter would see and what is on disk; a stage whose
// condition to go on fails stops the journey (the later stages would only repeat the failure).
#include <QImage>
#include <QRect>
#include <QRectF>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/json.h"

namespace journey {

// How a session hands the event loop back: the app ends it (Quit, last window closed), or the
// journey stopped early and ends it.
enum class Ending { appEnds, stoppedEarly };

class Journey {
  public:
    explicit Journey(std::filesystem::path base);

    // landing ▸ About, Open cancelled ▸ New ▸ slides ▸ pictures ▸ text ▸ window resize ▸ window left at a
    // frame ▸ gestures ▸ quick gestures ▸ turn, flip, undo ▸ layer order ▸ filters ▸ scripts ▸ Save ▸ the
    // title bar dragged above the screen ▸ close
    // (the last window: QRN ends).
    Ending firstLaunch();
    void afterFirstLaunch();
    // landing ▸ reopen from the recent list ▸ the window where it was left ▸ studio ▸ autocue ▸ record ▸ two
    // steps ▸ stop ▸ export ▸ the keyed photo in it ▸ play ▸ save the movie ▸ back to editing ▸ the
    // selected tile ▸ the selection on a backdrop slide ▸ moved, the studio again ▸ Quit.
    Ending secondLaunch();
    void afterSecondLaunch();
    bool stopped() const { return stopped_; }

  private:
    // Stages; each returns false when the journey cannot go on.
    bool landing(bool expectRecent);
    bool aboutThenOpenCancelled();
    bool newProject();
    bool addSlides();
    bool dropPictures();
    bool symbolFromPicker();
    bool textLayer();
    bool resizeWindow();
    bool leaveWindowAtAFrame();
    bool gestures();
    bool quickGestures();
    bool turnFlipUndo();
    bool reorderLayers();
    bool filters();
    bool scripts();
    bool save();
    bool leaveTitleBarAboveTheScreen();
    bool closeProject();
    bool reopenFromRecent();
    bool windowWhereLeft();
    bool openStudio();
    bool openAutocue();
    bool record();
    bool stepByNextAssetCard();
    bool stepByLayerClick();
    bool counterOnTheLastSlide();
    bool stopRecording();
    bool waitForExport();
    bool keyedPhotoInTheTake();
    bool play();
    bool saveMovie();
    bool backToEditing();
    bool selectedTileAfterStudio();
    bool selectionKeptOnABackdropSlide();
    bool studioAgainAfterAMove();
    bool quit();

    // The studio's own faults a presenter meets: where the autocue first opens, the camera
    // button after a project handed over by a second launch, and a hand-over during a take.
    bool autocueClearOfTheStudio();
    bool cameraButtonLitAfterAHandOver();
    bool handOverDuringATake();
    // The project folder copied under another name, for a second launch to hand over.
    std::filesystem::path encore_;

    Ending stop();

    std::filesystem::path base_;
    std::filesystem::path project_;
    bool stopped_ = false;
    // Where the presenter left the main window (Qt's geometry, y down).
    QRect leftFrame_;
    // The window was last left with its title bar above the screen: it comes back brought down.
    bool leftAboveTheScreen_ = false;
    bool terminated_ = false;
    // The model as saved, to compare the reopened project with.
    qrn::Json saved_;
    // The package as the full-screen window last wrote it, its layers fitted to that picture.
    qrn::Json savedInFullScreen_;
    // Scripts typed per slide.
    std::vector<std::string> scripts_;
    // Recording: the times of the two steps, seconds from the start of the take.
    std::vector<double> stepTimes_;
    std::filesystem::path movie_;
    std::string textLayerId_;
    // The layers of each slide as the studio opened.
    std::vector<std::vector<std::string>> slideLayers_;
    double autocueStart_ = 0;
    // What the studio's picture showed with each slide on show (index: slide), and where each
    // slide's layers lie in it (fractions of the picture, y down), to tell slides apart in the movie.
    std::vector<QImage> studioShots_;
    // Per slide, the picture's pixels that show its layers: alike in two shots half a second
    // apart (the test camera moves) and unlike the other slides' shots.
    std::vector<QImage> studioShotsLater_;
    std::vector<std::vector<QRectF>> layerAreas_;
    void keepStudioShot(int slide);
    // The slide whose layers `frame` shows, 0 when none clearly; `why` gets each slide's score.
    int slideIn(const QImage& frame, std::string* why = nullptr) const;
};

} // namespace journey
