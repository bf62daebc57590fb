// The time scaler ("Kavrel_scaler"): a bar from the start marker to the end
// marker of the time axis, with the special time's marker, on the Time Axis
// page. Dragging a marker moves its time in whole steps of the arrow step
// within the full range. The geometry is process-wide: there is one scaler at
// a time.
#pragma once

#include "platform/win.h"

// Scaler geometry (pixels) and scale.
struct scaler_geometry {
    int width = 0;  // W: the client width less 5
    int height = 0; // the bar's height: half the client height
    int top = 1;    // the bar's top
    int margin = 10;
    int start_x = 0; // marker positions
    int end_x = 0;
    int special_x = 0;
    double ppu = 1.0;   // pixels per time unit
    double steps = 0.0; // steps of the arrow step in the full range
};
extern scaler_geometry scaler;

// The markers, named as the parent is told which one moved.
enum scaler_marker : int { sm_none = 0, sm_start = 1, sm_end = 2, sm_special = 3 };

// The parent gets WM_COMMAND (control id, scn_moved + marker) after a drag
// moved a marker and its time.
inline constexpr int scn_moved = 0x100;

// Whether the bar has room between its margins (W - 2M above 0); a scaler of
// 20 pixels or less places no markers and snaps nothing.
bool scaler_has_room(const scaler_geometry& g);
// The pixels per time unit for the full range s .. e: (W - 2M) / (e - s) when
// e > s and the bar has room, else 1.0.
double scaler_ppu(const scaler_geometry& g, double s, double e);
// The whole-step time of a marker at x (sm_start, sm_end or sm_special), with
// g.steps steps of size step in the full range s .. e.
double scaler_snap(const scaler_geometry& g, int marker, int x, double s, double e, double step);
// The arrow step in use (1.0 when not positive).
double scaler_step(float step);

// Sets the geometry from a client area of w x h pixels.
void scaler_set_size(int w, int h);

// Whether a marker is being dragged.
bool scaler_dragging();

LRESULT scale_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
