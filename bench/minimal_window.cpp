// The reference for Kestrava's startup figures: one empty top-level widget of the main
// window's designed size, and nothing else.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(233, 289);
    window.show();
    return app.exec();
}
