// Pictures written by other programs: small drawings of ours (the .svg files
// beside them) converted to enhanced and Windows metafiles by two common
// drawing programs are read, and their playback matches the drawing as an
// SVG renderer shows it (the _svg.png references).
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFFu;

std::string data_file(const std::string& name) {
    return std::string(KAVREL_SOURCE_DIR) + "/tests/platform/data/" + name;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Plays a picture file into an image of `size`, filling it; a null image when
// the file is refused (the reason in `error`).
QImage play_file(const std::string& path, QSize size, std::string& error) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    bool played = false;
    if (ends_with(path, ".emf")) {
        HENHMETAFILE emf = GetEnhMetaFile(path.c_str());
        if (emf) {
            RECT r{0, 0, size.width(), size.height()};
            played = PlayEnhMetaFile(dc, emf, &r);
            DeleteEnhMetaFile(emf);
        }
    } else {
        HMETAFILE wmf = GetMetaFile(path.c_str());
        if (wmf) {
            SetMapMode(dc, MM_ANISOTROPIC);
            SetViewportExtEx(dc, size.width(), size.height(), nullptr);
            played = PlayMetaFile(dc, wmf);
            DeleteMetaFile(wmf);
        }
    }
    gdi_delete_image_dc(dc);
    if (!played) {
        error = gdi_last_error();
        return QImage();
    }
    return img;
}

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Share of pixels whose colour differs clearly from the reference's. Edges
// differ (smoothed in the reference, not in playback, and placed within a
// pixel or two by the writers' rounding): a clear difference is one that no
// pixel within two of the same place explains.
double mismatch(const QImage& got, const QImage& want) {
    int bad = 0;
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            bool near = false;
            for (int dy = -2; dy <= 2 && !near; ++dy)
                for (int dx = -2; dx <= 2 && !near; ++dx) {
                    int u = x + dx, v = y + dy;
                    if (u >= 0 && v >= 0 && u < got.width() && v < got.height())
                        near = distance(got.pixel(u, v), want.pixel(x, y)) <= 60;
                }
            if (!near) ++bad;
        }
    return static_cast<double>(bad) / (want.width() * want.height());
}

// A point of a drawing as a share of its width and height, and its colour.
struct Spot {
    double x, y;
    QRgb colour;
};

constexpr QRgb grey = 0xFFE0E0E0u; // the drawings' background

// Inside each shape of shapes.svg (200 x 150), away from its edges.
const std::vector<Spot> shape_spots = {
    {50 / 200.0, 35 / 150.0, 0xFFFF0000u},   // red rectangle
    {150 / 200.0, 35 / 150.0, 0xFF0000FFu},  // blue rectangle
    {60 / 200.0, 125 / 150.0, 0xFF00A000u},  // green triangle
    {150 / 200.0, 125 / 150.0, 0xFFFF8000u}, // orange curve
    {100 / 200.0, 68 / 150.0, grey},         // between them
    {150 / 200.0, 80 / 150.0, grey},         // above the curve's top
};
// The yellow square of text.svg (200 x 100), the letters' colour, the background.
const std::vector<Spot> text_spots = {
    {150 / 200.0, 50 / 100.0, 0xFFFFFF00u},
    {100 / 200.0, 10 / 100.0, grey},
};

void expect_spots(const QImage& img, const std::vector<Spot>& spots, const std::string& what) {
    for (const Spot& s : spots) {
        int x = static_cast<int>(s.x * img.width()), y = static_cast<int>(s.y * img.height());
        EXPECT_LE(distance(img.pixel(x, y), s.colour), 24)
            << what << " at " << x << "," << y << ": " << std::hex << img.pixel(x, y);
    }
}

// Text is the letters' colour somewhere (the outlines of "Kv" differ between
// renderers, their colour does not).
bool has_colour(const QImage& img, QRgb colour) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (distance(img.pixel(x, y), colour) <= 24) return true;
    return false;
}

struct Fixture {
    const char* file;
    // The drawing as a reader shows it: the SVG rendered, or, for the files of a
    // program that places the drawing in a frame of its own making, that
    // program's rendering of the file.
    const char* reference;
};

class ForeignPicture : public ::testing::TestWithParam<Fixture> {};

TEST_P(ForeignPicture, PlaysLikeTheDrawingItWasMadeFrom) {
    Fixture f = GetParam();
    std::string name = f.file;
    bool shapes = name.find("shapes") != std::string::npos;
    QImage want(QString::fromStdString(data_file(f.reference)));
    ASSERT_FALSE(want.isNull()) << f.reference;
    want = want.convertToFormat(QImage::Format_RGB32);
    std::string error;
    QImage got = play_file(data_file(name), want.size(), error);
    ASSERT_FALSE(got.isNull()) << name << ": " << error;
    if (const char* dump = std::getenv("KAVREL_DUMP_PICTURES"))
        got.save(QString::fromStdString(std::string(dump) + "/" + name + ".png"));
    expect_spots(got, shapes ? shape_spots : text_spots, name);
    if (!shapes) {
        EXPECT_TRUE(has_colour(got, 0xFF000080u)) << name << ": no navy letters";
    }
    // Letters are shaped a little differently by every text renderer.
    EXPECT_LT(mismatch(got, want), shapes ? 0.01 : 0.02) << name;
}

INSTANTIATE_TEST_SUITE_P(FromOtherPrograms, ForeignPicture,
                         ::testing::Values(Fixture{"lo_shapes.emf", "lo_shapes_lo.png"},
                                           Fixture{"lo_shapes.wmf", "lo_shapes_lo.png"},
                                           Fixture{"lo_text.emf", "lo_text_lo.png"},
                                           Fixture{"lo_text.wmf", "lo_text_lo.png"},
                                           Fixture{"ink_shapes.emf", "shapes_svg.png"},
                                           Fixture{"ink_shapes.wmf", "shapes_svg.png"},
                                           Fixture{"ink_text.emf", "text_svg.png"},
                                           Fixture{"ink_text.wmf", "text_svg.png"}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             for (char& c : n)
                                 if (c == '.') c = '_';
                             return n;
                         });

} // namespace
