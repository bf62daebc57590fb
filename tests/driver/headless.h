// Qt for harnesses that feed the platform malformed input (the fuzz targets):
// a GUI application without windows, started once.
#pragma once

namespace headless {

// Starts Qt's GUI application on the offscreen platform (unless QT_QPA_PLATFORM
// chooses another) with Qt's log messages silenced: warnings about degenerate
// drawing and bad data are expected there. Later calls do nothing.
void start_gui(const char* app_name);

} // namespace headless
