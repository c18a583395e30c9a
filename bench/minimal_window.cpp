// The floor for start-up: the least a Qt Widgets program does to show a window
// of the same size.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.resize(314, 305);
    window.show();
    return app.exec();
}
