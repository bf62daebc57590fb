// Pictures for the diagram's tests: a stored metafile picture as a model
// holds one, a device holding what a recorded metafile draws, a view as the
// PDF printer prints it and a copied view as the clipboard holds it.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/printing.h"
#include "platform/clip.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/global.h"
#include "platform/print.h"
#include "shell/settings_rows.h"
#include "sketch/drawsketch.h"
#include "sketch/viewprint.h"
#include "tests/common/command_output.h"

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

// The diagram recorded as a copy records it (a metafile, over a transparent
// background) and played back onto a white w x h device; null when nothing
// was recorded.
inline std::unique_ptr<played_metafile> replayed_sketch(const sketch_state& s, int w, int h) {
    HDC mf = CreateMetaFile(nullptr);
    SetBkMode(mf, TRANSPARENT);
    paint_sketch(mf, s, RECT{0, 0, w, h}, true);
    HMETAFILE m = CloseMetaFile(mf);
    if (!m) return nullptr;
    auto played = std::make_unique<played_metafile>(m, w, h);
    DeleteMetaFile(m);
    return played;
}

// A view printed to the PDF printer (the default one, not a system printer),
// rasterised at 96 dots per inch by pdftoppm (poppler-utils) from the files
// `name`.pdf and `name`.png in the test's temporary folder: a null image
// when nothing was printed. The print options and the printer's state are
// as they were before when it returns.
inline QImage printed_view(HWND view, sketch_state& s, const view_output_settings& set,
                           const std::string& name) {
    print_use_system_printers(false);
    const opt_block saved = opts;
    opts.printer_name.clear();
    drawing = draw_state{};
    printer = print_state{};
    const std::string pdf = testing::TempDir() + name + ".pdf";
    const std::string png = testing::TempDir() + name;
    std::filesystem::remove(pdf);
    printer.output_file = pdf;
    output_view(nullptr, view, s, vo_print, set);
    if (drawing.printer_dc) DeleteDC(drawing.printer_dc);
    drawing = draw_state{};
    printer = print_state{};
    opts = saved;
    print_use_system_printers(true);
    if (!std::filesystem::exists(pdf)) return {};
    command_output("pdftoppm -r 96 -png -singlefile '" + pdf + "' '" + png + "'");
    return QImage(QString::fromStdString(png + ".png"));
}

// The clipboard's metafile picture (a copied view): played onto a white
// image of its size in screen pixels, and as the bytes of a placeable
// metafile file for outside readers. Both empty when the clipboard holds no
// such picture.
struct copied_picture {
    QImage image;
    std::vector<std::uint8_t> placeable;
};

inline copied_picture clipboard_picture() {
    copied_picture out;
    if (!OpenClipboard(nullptr)) return out;
    HANDLE h = GetClipboardData(CF_METAFILEPICT);
    const auto* pict =
        h ? static_cast<const METAFILEPICT*>(GlobalLock(static_cast<HGLOBAL>(h))) : nullptr;
    if (pict) {
        const int w = static_cast<int>(pict->xExt * 96 / 2540),
                  ht = static_cast<int>(pict->yExt * 96 / 2540);
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, w, ht);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(mem, bmp);
        const RECT all{0, 0, w, ht};
        FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetMapMode(mem, MM_ANISOTROPIC);
        SetViewportExtEx(mem, w, ht, nullptr);
        SetWindowExtEx(mem, w, ht, nullptr);
        PlayMetaFile(mem, pict->hMF);
        SelectObject(mem, old);
        out.image = gdi_bitmap_image(bmp);
        DeleteObject(bmp);
        DeleteDC(mem);
        out.placeable = placeable_header(w, ht, 96);
        const UINT bytes = GetMetaFileBitsEx(pict->hMF, 0, nullptr);
        const std::size_t head = out.placeable.size();
        out.placeable.resize(head + bytes);
        GetMetaFileBitsEx(pict->hMF, bytes, out.placeable.data() + head);
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    return out;
}

} // namespace sketch_pictures
