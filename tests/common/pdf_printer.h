// Printing into a PDF file for a part of a test: the PDF printer (no system
// printer) under the default printer name. The print options and the
// printer's state are as before when the object goes, however the test ends.
#pragma once

#include <filesystem>
#include <string>

#include "draw/printing.h"
#include "platform/print.h"
#include "shell/settings_rows.h"
#include "tests/common/command_output.h"

class pdf_printer {
public:
    explicit pdf_printer(const std::string& path) : saved_(opts) {
        print_use_system_printers(false);
        opts.printer_name.clear();
        printer.output_file = path;
    }
    ~pdf_printer() {
        opts = saved_;
        printer = print_state{};
        print_use_system_printers(true);
    }
    pdf_printer(const pdf_printer&) = delete;
    pdf_printer& operator=(const pdf_printer&) = delete;

private:
    opt_block saved_;
};

// The text of what `print` prints into a fresh PDF at `path` (any earlier
// file there removed first), with the PDF printer in place only meanwhile.
template <class Print> std::string printed_pdf_text(const std::string& path, Print&& print) {
    std::filesystem::remove(path);
    {
        const pdf_printer to_pdf(path);
        print();
    }
    return pdf_text(path);
}
