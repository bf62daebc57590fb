// Saving pictures (see export.h).
#include "draw/export.h"

#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/files.h"
#include "foundation/report.h"
#include "platform/clip.h"

#include <cstdio>

namespace {

// Draws the picture into a memory metafile with the reference device for
// measuring; the metafile's bytes (empty when it could not be made).
std::vector<std::uint8_t> record_picture(SIZE size, HDC reference, picture_drawer draw,
                                         void* context) {
    std::vector<std::uint8_t> bytes;
    HDC mf = CreateMetaFile(nullptr);
    if (!mf) return bytes;
    out_size = size;
    {
        draw_pass pass(mf, reference ? reference : mf);
        if (pass.ok()) {
            SetMapMode(mf, MM_ANISOTROPIC);
            SetWindowExtEx(mf, size.cx, size.cy, nullptr);
            if (draw) draw(context);
        }
    }
    HMETAFILE h = CloseMetaFile(mf);
    if (!h) return bytes;
    UINT n = GetMetaFileBitsEx(h, 0, nullptr);
    bytes.resize(n);
    if (n && GetMetaFileBitsEx(h, n, bytes.data()) != n) bytes.clear();
    DeleteMetaFile(h);
    return bytes;
}

void reset_export_state() {
    drawing.gtx_mode = 0;
    set_gtx_sink(nullptr);
    out_size = SIZE{0, 0};
}

// Writes all bytes through a temporary file; reports and removes on failure.
int save_bytes(const char* path, const void* data, std::size_t n, const void* more = nullptr,
               std::size_t more_n = 0) {
    file_handle h = fh_open_write(path, 0, 0);
    if (h < 0) {
        report(8, "Unable to save to %s", path);
        return 0;
    }
    bool ok = fh_write(h, data, n) == n && (!more_n || fh_write(h, more, more_n) == more_n);
    if (!ok) {
        fh_abandon(h);
        report(8, "Unable to save to %s", path);
        return 0;
    }
    if (fh_close(h) < 0) {
        report(8, "Unable to save to %s", path);
        return 0;
    }
    return 1;
}

int points(int v, bool horizontal) {
    int res = drawing.device_res[(drawing.printing ? 2 : 0) + (horizontal ? 0 : 1)];
    return static_cast<int>(static_cast<long long>(v) * 72 / (res < 1 ? 72 : res));
}

} // namespace

std::string gtx_text_of(SIZE size, HDC reference, picture_drawer draw, void* context) {
    std::string text = "V161| - Tolmera graphics transfer format\n";
    char line[64];
    std::snprintf(line, sizeof line, "(0,0)-(%d,%d)\n", points(size.cx, true),
                  points(size.cy, false));
    text += line;
    drawing.gtx_mode = -1;
    set_gtx_sink(&text);
    record_picture(size, reference, draw, context);
    set_gtx_sink(nullptr);
    std::snprintf(line, sizeof line, "%d|The End\n", 8);
    text += line;
    return text;
}

int write_gtx(const char* path, SIZE size, HDC reference, picture_drawer draw, void* context) {
    if (!path || !*path) return 0;
    file_handle probe = fh_open_write(path, 0, 0);
    if (probe < 0) {
        report(8, "Unable to open %s to transfer graphics", path);
        reset_export_state();
        return 0;
    }
    fh_abandon(probe); // the text is made first, then written in one go
    std::string text = gtx_text_of(size, reference, draw, context);
    reset_export_state();
    return save_bytes(path, text.data(), text.size());
}

std::vector<std::uint8_t> placeable_header(int w, int h, int upi) {
    if (w < 1 || h < 1 || w > export_max_side || h > export_max_side || upi < 1 || upi > 0xFFFF)
        return {};
    std::uint16_t words[11] = {0xCDD7,
                               0x9AC6,
                               0,
                               0,
                               0,
                               static_cast<std::uint16_t>(w),
                               static_cast<std::uint16_t>(h),
                               static_cast<std::uint16_t>(upi),
                               0,
                               0,
                               0};
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= words[i];
    words[10] = sum;
    std::vector<std::uint8_t> out;
    for (std::uint16_t v : words) {
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

int write_wmf(const char* path, SIZE size, HDC reference, int upi, picture_drawer draw,
              void* context) {
    if (!path || !*path) return 0;
    std::vector<std::uint8_t> head = placeable_header(size.cx, size.cy, upi);
    if (head.empty()) {
        report(8, "Unable to save to %s", path);
        return 0;
    }
    drawing.gtx_mode = 1;
    std::vector<std::uint8_t> body = record_picture(size, reference, draw, context);
    reset_export_state();
    if (body.empty()) {
        report(8, "Unable to save to %s", path);
        return 0;
    }
    return save_bytes(path, head.data(), head.size(), body.data(), body.size());
}

int copy_picture(HWND owner, SIZE size, HDC reference, int res_x, int res_y, picture_drawer draw,
                 void* context) {
    if (size.cx < 1 || size.cy < 1 || size.cx > export_max_side || size.cy > export_max_side) {
        report(8, "Unable to copy to the clipboard");
        return 0;
    }
    const long long rx = res_x > 0 ? res_x : 96, ry = res_y > 0 ? res_y : 96;
    const RECT frame{0, 0, static_cast<LONG>(size.cx * 2540LL / rx),
                     static_cast<LONG>(size.cy * 2540LL / ry)};
    drawing.gtx_mode = 1;
    HDC mf = CreateEnhMetaFile(reference, nullptr, &frame, "Kavrel\0");
    if (mf) {
        out_size = size;
        // Drawn in the reference device's pixels: the frame gives the size.
        draw_pass pass(mf, reference ? reference : mf);
        if (pass.ok() && draw) draw(context);
    }
    HENHMETAFILE emf = mf ? CloseEnhMetaFile(mf) : nullptr;
    reset_export_state();
    const bool done = clip_put(owner, CF_ENHMETAFILE, emf);
    if (!done) {
        // A handle the clipboard refused is still ours.
        if (emf) DeleteEnhMetaFile(emf);
        report(8, "Unable to copy to the clipboard");
        return 0;
    }
    return 1;
}
