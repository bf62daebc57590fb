// A window as the screen shows it (its widget with every child control),
// saved as PNG in the test's folder and, when KAVREL_SCREENSHOTS names a
// folder, there too (to look at after the run).
#pragma once

#include "platform/win.h"
#include "tests/driver/driver.h"

#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

inline QImage save_shot(HWND window, const std::string& name) {
    test_driver::run_until_idle();
    QWidget* w = win_widget(window);
    if (!w) return QImage();
    QImage shot = w->grab().toImage();
    shot.save(QString::fromStdString(testing::TempDir() + "/" + name));
    if (const char* keep = std::getenv("KAVREL_SCREENSHOTS"))
        shot.save(QString::fromStdString(std::string(keep) + "/" + name));
    return shot;
}

// The number of distinct colours of an image: a grab that shows no text or
// controls has one or two.
inline int distinct_colours(const QImage& image) {
    std::set<QRgb> seen;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) seen.insert(image.pixel(x, y));
    return static_cast<int>(seen.size());
}
