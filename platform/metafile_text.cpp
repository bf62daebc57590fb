// Text of a picture: single-byte text in the code page of the selected font's
// character set, with spacing stored per byte added up per character, and
// UTF-16 text with spacing per unit.
#include "platform/metafile_play.h"

#include <algorithm>

using namespace gdi;
using namespace gdi::mf;

namespace {

// The character set of the font selected in a context: single-byte text of a
// picture is in its code page.
BYTE font_charset(HDC h) {
    Dc* d = gdi::dc(h);
    Object* f = d ? object(d->s.font, Kind::font) : nullptr;
    return f ? f->lf.lfCharSet : static_cast<BYTE>(ANSI_CHARSET);
}

// Spacing stored per byte, added up per UTF-16 unit of the decoded text (a
// character of two bytes gets both; the second half of a pair gets 0).
std::vector<int> spacing_per_unit(const std::vector<int>& byte_dx,
                                  const std::vector<int>& unit_bytes) {
    if (byte_dx.empty()) return {};
    std::vector<int> dx;
    dx.reserve(unit_bytes.size());
    std::size_t at = 0;
    for (int n : unit_bytes) {
        long v = 0;
        for (int k = 0; k < n && at < byte_dx.size(); ++k) v += byte_dx[at++];
        dx.push_back(static_cast<int>(std::clamp<long>(v, INT32_MIN / 2, INT32_MAX / 2)));
    }
    return dx;
}

} // namespace

void mf::play_coded_text(HDC dc, int x, int y, UINT options, const RECT* rc, const BYTE* text,
                         int length, const std::vector<int>& byte_dx, bool as_textout) {
    std::vector<int> unit_bytes;
    QString s = decode_charset(reinterpret_cast<const char*>(text), length, font_charset(dc),
                               byte_dx.empty() ? nullptr : &unit_bytes);
    std::vector<int> dx = spacing_per_unit(byte_dx, unit_bytes);
    text_out(dc, x, y, options, rc, s, dx.empty() ? nullptr : dx.data(), as_textout);
}

void mf::play_utf16_text(HDC dc, int x, int y, UINT options, const RECT* rc, const BYTE* text,
                         std::size_t length, const std::vector<int>& dx) {
    QString s;
    for (std::size_t k = 0; k < length; ++k)
        s.append(QChar(static_cast<char16_t>(u16at(text + 2 * k))));
    text_out(dc, x, y, options, rc, s, dx.empty() ? nullptr : dx.data(), false);
}
