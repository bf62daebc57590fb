// Pictures for the diagram's tests: a stored metafile picture as a model
// holds one, and a device holding what a recorded metafile draws.
#pragma once

#include "platform/gdi.h"

#include <cstdint>
#include <vector>

namespace sketch_pictures {

// A metafile picture of one colour over its whole extent (100 x 100 in its
// window, 1000 x 1000 in the picture's units), as the sized block a view's
// stored picture is: the block's size, mapping mode, extents, a reserved
// word, then the metafile's bytes.
inline std::vector<std::uint8_t> filled_metafile(COLORREF colour) {
    HDC mf = CreateMetaFile(nullptr);
    SetWindowExtEx(mf, 100, 100, nullptr);
    HBRUSH b = CreateSolidBrush(colour);
    HPEN p = CreatePen(PS_SOLID, 1, colour);
    SelectObject(mf, b);
    SelectObject(mf, p);
    Rectangle(mf, 0, 0, 100, 100);
    HMETAFILE h = CloseMetaFile(mf);
    DeleteObject(b);
    DeleteObject(p);
    const UINT n = GetMetaFileBitsEx(h, 0, nullptr);
    std::vector<std::uint8_t> out(20 + n, 0);
    const std::uint32_t head[4] = {static_cast<std::uint32_t>(out.size()), MM_ANISOTROPIC, 1000,
                                   1000};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            out[static_cast<std::size_t>(4 * k + i)] =
                static_cast<std::uint8_t>(head[k] >> (8 * i));
    GetMetaFileBitsEx(h, n, out.data() + 20);
    DeleteMetaFile(h);
    return out;
}

// A memory device of w x h, white, holding what a metafile draws when played
// into it: a copy's picture as a reader of the clipboard sees it.
struct played_metafile {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    played_metafile(HMETAFILE h, int w, int h_px) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, w, h_px);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, w, h_px, WHITENESS);
        PlayMetaFile(dc, h);
    }
    ~played_metafile() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    played_metafile(const played_metafile&) = delete;
    played_metafile& operator=(const played_metafile&) = delete;
};

} // namespace sketch_pictures
