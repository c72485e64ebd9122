// The reference for Kestrava's startup figures: one empty top-level widget of the main
// window's designed size, and nothing else. With --label it also shows one line of text in
// the default font: the least a window that draws text pays (the font database). With --tick
// a timer that does nothing runs every 10 ms: what an animation timer that never rests costs.
// With --labels it shows twenty labels and, last, a red bold "Exit" in the bottom right corner:
// a window of text drawn in one go, whose last element can be told by its colour (FF0000).

#include <cstring>

#include <QApplication>
#include <QLabel>
#include <QPalette>
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
    if (argc > 1 && std::strcmp(argv[1], "--labels") == 0) {
        for (int i = 0; i < 20; ++i) {
            auto *label = new QLabel(QStringLiteral("Label number %1").arg(i + 1), &window);
            label->move(8, 6 + 12 * i);
            label->adjustSize();
        }
        auto *exit = new QLabel(QStringLiteral("Exit"), &window);
        QFont bold = exit->font();
        bold.setBold(true);
        bold.setPixelSize(16);
        exit->setFont(bold);
        QPalette red = exit->palette();
        red.setColor(QPalette::WindowText, QColor(0xFF, 0, 0));
        exit->setPalette(red);
        exit->adjustSize();
        exit->move(window.width() - exit->width() - 8, window.height() - exit->height() - 4);
    }
    QTimer tick;
    if (argc > 1 && std::strcmp(argv[1], "--tick") == 0) {
        tick.setTimerType(Qt::PreciseTimer);
        tick.start(10);
    }
    window.show();
    return app.exec();
}
