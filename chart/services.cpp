// The services the chart library asks of the program (number text, font
// character set, output size) and their defaults for a plain screen.
#include "chart/services.h"

#include "foundation/names.h"
#include "platform/gdi.h"
#include "platform/win.h"

namespace chart {

namespace {
Services default_services;
Services* current = &default_services;
} // namespace

Services& services() {
    return *current;
}
void set_services(Services* s) {
    current = s ? s : &default_services;
}

std::string Services::format_number(double value) const {
    return format_number_string(value, 1, nullptr);
}

BYTE Services::font_charset(const char*) const {
    return ANSI_CHARSET;
}

void Services::device_res(int* x, int* y) const {
    HDC screen = GetDC(nullptr);
    int rx = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    int ry = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    if (x) *x = rx > 0 ? rx : 96;
    if (y) *y = ry > 0 ? ry : 96;
}

void Services::out_size(int* width, int* height) const {
    if (width) *width = 0;
    if (height) *height = 0;
}

} // namespace chart
