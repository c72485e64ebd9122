// The reference for Kestrava's startup figures: one empty top-level widget of the main
// window's designed size, and nothing else. With --label it also shows one line of text in
// the default font: the least a window that draws text pays (the font database). With --tick
// a timer that does nothing runs every 10 ms: what an animation timer that never rests costs.

#include <cstring>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(233, 289);
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        auto *label = new QLabel(QStringLiteral("Minimal"), &window);
        label->adjustSize();
    }
    QTimer tick;
    if (argc > 1 && std::strcmp(argv[1], "--tick") == 0) {
        tick.setTimerType(Qt::PreciseTimer);
        tick.start(10);
    }
    window.show();
    return app.exec();
}
