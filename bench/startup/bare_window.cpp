// The yardstick of the start-up benchmark: a bare Qt window that tells its
// first paint on stderr, as the viewer does with KAVREL_TRACE_FIRST_PAINT.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <cstdio>

namespace {

class BareWindow final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), Qt::white);
        if (!told_) {
            told_ = true;
            // Told once the paint is through, as the viewer does.
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::fputs("kavrel: first paint\n", stderr);
                    std::fflush(stderr);
                },
                Qt::QueuedConnection);
        }
    }

private:
    bool told_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    BareWindow window;
    window.resize(800, 600);
    window.show();
    return app.exec();
}
