// What the chart library needs of the program around it: number text, a
// face's character set and the state of the current output. The chart-control
// graph installs its own; the default answers for a plain screen.
#pragma once

#include "platform/types.h"

#include <string>

namespace chart {

class Services {
public:
    virtual ~Services() = default;
    // A value as the program writes numbers (thousands grouped, no prefix).
    virtual std::string format_number(double value) const;
    // The character set of a face name.
    virtual BYTE font_charset(const char* face) const;
    // Output going to a printer, or to a graphics file.
    virtual bool printing() const { return false; }
    virtual bool graphics_file_output() const { return false; }
    // Pixels per inch of the output in use (the printer's while printing,
    // else the screen's); never 0.
    virtual void device_res(int* x, int* y) const;
    // Page size of the current printer or graphics-file output, in pixels.
    virtual void out_size(int* width, int* height) const;
};

// The services in use (never null); set(null) puts the default back.
Services& services();
void set_services(Services* s);

} // namespace chart
