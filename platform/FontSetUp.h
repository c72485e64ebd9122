#pragma once

// Reading the desktop's font configuration is the largest single cost of a
// first frame with text in it, and nothing else needs the processor while the
// display connection is opened and the configuration file read. So it starts
// on a thread of its own at once, and the window waits for it just before its
// first text is measured.

namespace platform {

// Starts reading the font configuration in the background; once per process.
void StartFontSetUp();
// Waits until that reading is done; returns at once when none was started.
void FinishFontSetUp();

} // namespace platform
