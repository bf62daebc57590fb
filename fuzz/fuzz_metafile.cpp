// Feeds bytes to the Windows metafile and enhanced metafile readers and plays
// whatever they accept onto a small image.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "tests/driver/headless.h"

#include <QImage>

#include <cstdint>

// The application and the font machinery are set up once, before any input,
// so their one-time allocations are not taken for leaks of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::start_gui("fuzz_metafile");
    QImage img(16, 16, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    for (int face = 0; face < 3; ++face) {
        static const char* faces[] = {"DejaVu Sans", "DejaVu Serif", "Courier"};
        HFONT f =
            CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, faces[face]);
        SelectObject(dc, f);
        TextOut(dc, 0, 0, "Ab", 2);
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(f);
    }
    TextOut(dc, 0, 0, "Ab", 2);
    gdi_delete_image_dc(dc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::start_gui("fuzz_metafile");
    if (size > (1u << 20)) return 0;
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    SetMapMode(dc, MM_ANISOTROPIC);
    SetViewportExtEx(dc, 64, 48, nullptr);
    if (HMETAFILE mf = SetMetaFileBitsEx(static_cast<UINT>(size), data)) {
        PlayMetaFile(dc, mf);
        DeleteMetaFile(mf);
    }
    if (HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(size), data)) {
        RECT r{0, 0, 64, 48};
        PlayEnhMetaFile(dc, emf, &r);
        DeleteEnhMetaFile(emf);
    }
    gdi_delete_image_dc(dc);
    return 0;
}

// The system's font configuration library keeps its caches until exit; they
// are not leaks of ours (read by the leak checker of sanitizer builds).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
