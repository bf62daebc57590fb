// What an outside program prints, for tests that check our files with
// another program's reader.
#pragma once

#include <array>
#include <cstdio>
#include <string>

// Standard output of a shell command ("" when it cannot be started).
inline std::string command_output(const std::string& cmd) {
    std::string out;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        std::array<char, 4096> buf{};
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
        pclose(p);
    }
    return out;
}

// The text of a PDF through pdftotext (poppler-utils), laid out as on the
// page, pages split by form feeds; its complaints included.
inline std::string pdf_text(const std::string& path) {
    return command_output("pdftotext -layout '" + path + "' - 2>&1");
}

// The words of a PDF with their boxes (pdftotext -bbox: "<word xMin=..."), for
// tests that check where a text stands on the page.
inline std::string pdf_text_bbox(const std::string& path) {
    return command_output("pdftotext -bbox '" + path + "' - 2>&1");
}
