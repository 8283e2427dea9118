#pragma once
// The decks the take benchmarks record over, built in the model as the layer tests build them.
// The talk: five slides as a presenter's talk has them, heavy on the movie's work where it costs
// most: a picture through the chroma key, a blurred one, one through the median, an animated
// picture (a GIF of twelve frames), each over the camera's picture, and the camera alone; the
// camera blurred on all of them. Its pictures are files dropped as a presenter drops them, so a
// saved talk opens as it was made. The
// three-slide deck: one coloured picture per slide and seven small ones spread over them, the
// camera through all three of its filters.
namespace benchsupport {

enum class takeDeck { talk, threeSlides };

// The talk unless QRN_BENCH_DECK=three (or the older QRN_BENCH_AUTOCUE_DECK=three) asks for the
// three-slide deck.
takeDeck deckFromEnvironment();
// Presenter's slides the deck needs after the sticky one.
int slidesOf(takeDeck deck);
// Adds the deck's layers to slides 1 ... slidesOf(deck), which exist; the layers the slides
// were made with stay. Sets the camera's filters as the deck has them.
void addDeckLayers(takeDeck deck);
// The camera's filters off again.
void cameraFiltersOff();
const char* nameOf(takeDeck deck);

} // namespace benchsupport
