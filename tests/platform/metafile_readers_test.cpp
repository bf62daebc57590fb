// Our metafiles as independent readers see them: a placeable Windows metafile
// and an enhanced metafile of ours, rendered by libwmf's wmf2gd and by a
// drawing program's headless converter, show their colours where our player
// puts them. Each check is skipped when its reader is not installed.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"
#include "tests/common/packages.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int pic_w = 200, pic_h = 150;
constexpr QRgb grey = 0xFFC0C0C0u;

// The picture: a grey ground over the whole frame (so a reader's rendering can
// be cut out of its page), a red and a blue block and a green diamond (libwmf leaves
// filled ellipses empty: not ours to test).
void draw(HDC dc) {
    HBRUSH ground = CreateSolidBrush(RGB(192, 192, 192));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ old_brush = SelectObject(dc, ground);
    Rectangle(dc, 0, 0, pic_w + 1, pic_h + 1);
    SelectObject(dc, red);
    Rectangle(dc, 10, 10, 90, 70);
    SelectObject(dc, blue);
    Rectangle(dc, 110, 10, 190, 70);
    SelectObject(dc, green);
    POINT diamond[4] = {{100, 80}, {140, 112}, {100, 145}, {60, 112}};
    Polygon(dc, diamond, 4);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    for (HBRUSH b : {ground, red, blue, green}) DeleteObject(b);
}

struct Spot {
    double x, y; // share of the picture's width and height
};
const std::vector<Spot> spots = {{0.25, 0.27}, {0.75, 0.27}, {0.5, 0.75}, {0.5, 0.05}, {0.05, 0.9}};

class MetafileReaders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        dir = temp.path().toStdString() + "/";
        // Ours, played by our player.
        mine = QImage(pic_w, pic_h, QImage::Format_RGB32);
        mine.fill(0xFFFFFFFFu);
        HDC dc = gdi_create_image_dc(&mine, nullptr, QRegion());
        draw(dc);
        gdi_delete_image_dc(dc);
    }

    std::string write_wmf() {
        HDC mdc = CreateMetaFile(nullptr);
        SetWindowOrgEx(mdc, 0, 0, nullptr);
        SetWindowExtEx(mdc, pic_w, pic_h, nullptr);
        draw(mdc);
        HMETAFILE mf = CloseMetaFile(mdc);
        std::string file = dir + "ours_w.wmf";
        bool ok = write_placeable_metafile(file.c_str(), mf, 0, 0, pic_w, pic_h, 96);
        DeleteMetaFile(mf);
        return ok ? file : std::string();
    }
    std::string write_emf() {
        std::string file = dir + "ours_e.emf";
        HDC edc = CreateEnhMetaFile(nullptr, file.c_str(), nullptr, nullptr);
        draw(edc);
        HENHMETAFILE mf = CloseEnhMetaFile(edc);
        if (!mf) return {};
        DeleteEnhMetaFile(mf);
        return file;
    }

    QTemporaryDir temp; // one of its own for each test, run side by side
    std::string dir;
    QImage mine;
};

bool run(const QString& program, const QStringList& args, std::string& output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    bool ok =
        p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    output = p.readAll().toStdString();
    return ok;
}

// The part of a reader's rendering that is not white paper.
QImage cut_out(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            QRgb c = page.pixel(x, y);
            if (qAlpha(c) > 128 && (qRed(c) < 250 || qGreen(c) < 250 || qBlue(c) < 250))
                box = box.united(QRect(x, y, 1, 1));
        }
    return page.copy(box).convertToFormat(QImage::Format_RGB32);
}

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// The reader's picture is the frame's shape, and shows our colours at our places.
void expect_same_picture(const QImage& theirs, const QImage& mine, const std::string& what) {
    ASSERT_FALSE(theirs.isNull()) << what << ": nothing rendered";
    ASSERT_GT(theirs.width(), 20) << what << ": a blank picture";
    EXPECT_NEAR(static_cast<double>(theirs.width()) / theirs.height(),
                static_cast<double>(mine.width()) / mine.height(), 0.05)
        << what;
    for (const Spot& s : spots) {
        QRgb a =
            mine.pixel(static_cast<int>(s.x * mine.width()), static_cast<int>(s.y * mine.height()));
        QRgb b = theirs.pixel(static_cast<int>(s.x * theirs.width()),
                              static_cast<int>(s.y * theirs.height()));
        EXPECT_LE(distance(a, b), 40) << what << " at " << s.x << "," << s.y << ": ours "
                                      << std::hex << a << ", theirs " << b;
    }
    EXPECT_EQ(mine.pixel(5, pic_h - 5), grey); // the ground is ours too
}

TEST_F(MetafileReaders, LibwmfRendersOurWindowsMetafile) {
    // wmf2gd draws text with the fonts libwmf only recommends.
    ASSERT_EQ(packages_missing({"libwmf-bin", "fonts-urw-base35"}), "");
    QString reader = QStandardPaths::findExecutable(QStringLiteral("wmf2gd"));
    ASSERT_FALSE(reader.isEmpty());
    std::string wmf = write_wmf();
    ASSERT_FALSE(wmf.empty()) << gdi_last_error();
    std::string png = dir + "ours_wmf2gd.png", out;
    ASSERT_TRUE(run(reader,
                    {QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-o"),
                     QString::fromStdString(png), QString::fromStdString(wmf)},
                    out))
        << out;
    expect_same_picture(cut_out(QImage(QString::fromStdString(png))), mine, "wmf2gd");
}

// The office suite's calc package brings the `libreoffice` command but not the
// drawing component that loads metafiles: the check names the one that does.
TEST_F(MetafileReaders, DrawingProgramRendersOurMetafiles) {
    ASSERT_EQ(packages_missing({"libreoffice-draw-nogui"}), "");
    QString reader = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    ASSERT_FALSE(reader.isEmpty());
    std::string wmf = write_wmf(), emf = write_emf();
    ASSERT_FALSE(wmf.empty());
    ASSERT_FALSE(emf.empty());
    std::string out;
    QString profile = QStringLiteral("-env:UserInstallation=file://") +
                      QString::fromStdString(dir) + QStringLiteral("profile");
    ASSERT_TRUE(
        run(reader,
            {profile, QStringLiteral("--headless"), QStringLiteral("--convert-to"),
             QStringLiteral("png"), QStringLiteral("--outdir"), QString::fromStdString(dir + "png"),
             QString::fromStdString(wmf), QString::fromStdString(emf)},
            out))
        << out;
    expect_same_picture(cut_out(QImage(QString::fromStdString(dir + "png/ours_w.png"))), mine,
                        "wmf");
    expect_same_picture(cut_out(QImage(QString::fromStdString(dir + "png/ours_e.png"))), mine,
                        "emf");
}

} // namespace
