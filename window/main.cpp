#include "runs/Clock.h"
#include "runs/Module1.h"
#include "window/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Module1 library;
    MonotonicClock clock;
    Form1 window(library, clock);
    window.show();
    return app.exec();
}
