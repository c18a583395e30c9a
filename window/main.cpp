#include "Clock.h"
#include "Form1.h"
#include "LibraryOption.h"
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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int status = 0;
    const std::optional<QString> file = libraryOption(arguments, status);
    if (!file)
        return status;
    QApplication app(argc, argv);
    Module1 library(*file);
    MonotonicClock clock;
    Form1 window(library, clock);
    window.show();
    return app.exec();
}
