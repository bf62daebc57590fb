// The parts of a zip archive (an .xlsx or .ods) inflated and checked, and
// parts written back into an archive: the readers mend what the import
// library would misread (see workbook.cpp) and the stand-in writes its .xlsx.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sheets {

struct zip_part {
    std::string name;
    std::string data;
};

// Every part of an archive whose directory check_zip has passed, inflated.
// A part must inflate to exactly the size its directory states, end its
// compressed stream and match its check sum; false with the reason (naming
// the part) otherwise.
bool unzip_parts(std::string_view bytes, std::vector<zip_part>* parts, std::string* why);

// The parts as a zip archive, deflated (stored when `deflate` is false).
std::string zip_archive(const std::vector<zip_part>& parts, bool deflate);

} // namespace sheets
