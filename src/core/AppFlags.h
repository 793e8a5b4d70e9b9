#pragma once
// Start-mode flags of the main window, shared with the element panel.

namespace orvalink {

struct AppFlags {
    // Started with the word GPS: GPSDO edition. Fixed for the run.
    bool GPSMode = false;
    // Started with the word LL; later follows the shown element's
    // low-latency box.
    bool LowLatencyActive = false;
    // Started with the word LL (unlike LowLatencyActive, never changes).
    bool startedLowLatency = false;
};

} // namespace orvalink
