#pragma once
// The process's peak resident memory, as the kernel keeps it, so a benchmark can say how much a
// piece of work needed at its worst.

// Starts a new peak from what is resident now, after handing back what was freed.
void resetPeakMemory();
// The peak since the last reset, in megabytes.
double peakMemoryMegabytes();
