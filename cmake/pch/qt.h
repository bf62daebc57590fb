// The Qt headers the platform layer and its tests include most, on top of the
// standard ones (see std.h).
#pragma once

#include "std.h"

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QString>
#include <QWidget>
