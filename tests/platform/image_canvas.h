// A white image and a device context that draws into it, for the tests of
// the drawing layer: what was drawn is read back from the image's pixels.
#pragma once

#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <QImage>
#include <QRect>
#include <QRegion>

class ImageCanvas {
public:
    // w x h pixels; with transparent_text, text is drawn without its
    // background box.
    ImageCanvas(int w, int h, bool transparent_text = false) : img(w, h, QImage::Format_RGB32) {
        img.fill(0xFFFFFFFFu);
        dc = gdi_create_image_dc(&img, nullptr, QRegion());
        if (transparent_text) SetBkMode(dc, TRANSPARENT);
    }
    // The stock font goes back into the context first, so that a test's own
    // font may be deleted after the canvas or before it.
    ~ImageCanvas() {
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        gdi_delete_image_dc(dc);
    }
    ImageCanvas(const ImageCanvas&) = delete;
    ImageCanvas& operator=(const ImageCanvas&) = delete;

    // Whether the pixel is drawn on (not white).
    bool ink(int x, int y) const { return img.pixel(x, y) != 0xFFFFFFFFu; }
    // The pixels drawn on.
    int count_ink() const {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += ink(x, y);
        return n;
    }
    bool inked() const { return count_ink() > 0; }
    // The bounding box of the pixels drawn on (empty when none).
    QRect ink() const {
        QRect r;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (ink(x, y)) r = r.united(QRect(x, y, 1, 1));
        return r;
    }

    QImage img;
    HDC dc = nullptr;
};
