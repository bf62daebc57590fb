#include "tests/driver/headless.h"

#include <QGuiApplication>

#include <cstdlib>
#include <string>

void headless::start_gui(const char* app_name) {
    if (QCoreApplication::instance()) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static std::string name = app_name ? app_name : "kavrel";
    static int argc = 1;
    static char* argv[] = {name.data(), nullptr};
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QGuiApplication(argc, argv);
}
