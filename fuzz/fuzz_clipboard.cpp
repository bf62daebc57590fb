// Feeds bytes to the clipboard's reader of other programs' data: the first
// byte picks the MIME type (text, Windows metafile, enhanced metafile, a
// registered format), the rest is the data. Whatever is accepted is read back
// through the clipboard calls and then freed.
#include "platform/clip.h"
#include "platform/dlg.h"
#include "platform/global.h"
#include "tests/driver/headless.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::start_gui("fuzz_clipboard");
    ui_set_error_hook([](const char*) {}); // malformed input is expected here
    clip_use_private(true);
    RegisterClipboardFormat("Biff");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char* const types[] = {"text/plain", "image/x-wmf", "image/x-emf",
                                        "application/x-kavrel-biff"};
    const char* mime = types[data[0] % 4];
    clip_reset();
    if (clip_import_foreign(mime, data + 1, size - 1) && OpenClipboard(nullptr)) {
        for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) {
            HANDLE h = GetClipboardData(f);
            if (f == CF_TEXT) {
                auto g = static_cast<HGLOBAL>(h);
                const char* p = static_cast<const char*>(GlobalLock(g));
                std::size_t n = GlobalSize(g);
                volatile std::size_t len = 0;
                while (p && len < n && p[len]) len = len + 1; // bounded by the block
                GlobalUnlock(g);
            }
        }
        CloseClipboard();
    }
    clip_reset();
    return 0;
}
