#include "Clock.h"
#include "Form1.h"
#include "Module1.h"

#include <QApplication>
#include <csignal>

int main(int argc, char *argv[])
{
#if defined(SIGXFSZ)
    // A write past the file-size limit then fails with EFBIG, which the
    // library reports, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    Module1 library;
    MonotonicClock clock;
    Form1 window(library, clock);
    window.show();
    return app.exec();
}
