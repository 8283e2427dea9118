#pragma once
// How a worker thread stands towards the main thread, whose timers, input and the autocue's
// scrolling must find a core the moment they fall due.

namespace qrn {

// Puts the calling thread in the batch class: it never pre-empts another thread when it wakes,
// while the main thread, waking for its timers, takes the core from it. For threads that draw or
// encode while the presenter reads (the studio's picture, the recording); an ordinary user may do
// this and undo it, unlike a lower priority. Threads it starts later inherit it. False if the
// system refused.
bool giveWayToTheMainThread();

} // namespace qrn
