// Seams of the drawing layer for the rest of the platform stand-in (windows,
// printing, testing). The program itself only includes platform/gdi.h.
#pragma once

#include "platform/gdi.h"

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QSize>

class QPainter;

// A device context drawing on a window's retained backing image. `image` must
// outlive the context; `clip` (device pixels) limits all drawing, an empty
// region meaning "the whole image". `hwnd` is reported by WindowFromDC.
HDC gdi_create_image_dc(QImage* image, HWND hwnd, const QRegion& clip);
// Ends a context made by gdi_create_image_dc or gdi_create_screen_dc. Objects
// selected into it stay alive (they belong to the program); the context's own
// state is dropped and its handle becomes stale.
void gdi_delete_image_dc(HDC dc);
// The screen information device (GetDC(0), CreateDC("DISPLAY"), CreateIC):
// answers measurement and device-capability questions; drawing on it draws
// into a private scratch image of the screen's size, never onto a window.
HDC gdi_create_screen_dc();
// The window a context was made for (0 for memory, screen and metafile DCs).
HWND gdi_dc_window(HDC dc);
// Ends every painter the drawing layer keeps open on `image` (contexts keep
// one open across drawing calls). Call it before painting on the image with a
// painter of one's own; reading the pixels needs no call.
void gdi_end_drawing(const QImage* image);
// Told of every drawing call on a window's image (the window layer keeps the
// screens of class contexts, which are drawn on outside paint passes, up to
// date with it); null: nobody listens.
extern void (*gdi_window_drawn_hook)(HWND hwnd);
// Changes the clip region of an image context (device pixels), as the
// platform does when a window's update region changes during a paint.
void gdi_set_dc_base_clip(HDC dc, const QRegion& clip);

// A context drawing through a painter owned by someone else (a printer page,
// a PDF): the painter stays active for the context's life; every call saves
// and restores the painter's state. `size` is the page in device pixels.
HDC gdi_create_painter_dc(QPainter* painter, QSize size, int dpi_x, int dpi_y);

// The maker of printer contexts for CreateDC / CreateIC (the printing layer
// installs it): given the driver, device and port names and the program's
// device mode as passed, a context, or null with a message. `info_only` is
// true for CreateIC (an information context: measuring, no jobs). Until one
// is installed only "DISPLAY" can be opened.
using PrinterDcFactory = HDC (*)(const char* driver, const char* device, const char* port,
                                 const void* devmode, bool info_only);
void gdi_set_printer_dc_factory(PrinterDcFactory factory);

// The bitmap resources of the program: LoadBitmap(instance, MAKEINTRESOURCE(id))
// or LoadBitmap(instance, "name") gives a new bitmap copied from the image.
// `mono` marks a two-colour pattern (black = text colour when used as a brush).
void gdi_register_bitmap(int id, const QImage& image, bool mono = false);
void gdi_register_bitmap(const char* name, const QImage& image, bool mono = false);

// The pixels of a bitmap (a copy; null image when the handle is stale), and a
// bitmap made from an image (for the clipboard and icons).
QImage gdi_bitmap_image(HBITMAP bitmap);
HBITMAP gdi_bitmap_from_image(const QImage& image);
// The region of a region handle (empty when stale).
QRegion gdi_region(HRGN region);
// The QFont a font handle stands for at one logical unit per pixel, for
// standard controls that show text in a font set by WM_SETFONT.
QFont gdi_qfont(HFONT font);

namespace gdi {
// Program text as the drawing reads it: UTF-8 where the bytes are UTF-8,
// other bytes in the one-byte code page (the windows, controls and clipboard
// read their texts the same way).
QString decode_program_text(const char* text, int length);
} // namespace gdi
