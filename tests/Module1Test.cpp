#include "support/QStringPrinter.h"
#include "Module1.h"
#include "RunError.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

namespace {

TEST(Module1Binding, RefusesAPathTheEncodingCannotCarryBeforeCallingTheLibrary)
{
    FakeWindow window;
    recordInto(window, 0);
    Module1 recording(testLibrary("recording"));
    QString source = QStringLiteral("in") + QChar(0xD800), target = QStringLiteral("out"); // a lone surrogate
    EXPECT_THROW(recording.compress_file(source, target), RunError);
    EXPECT_TRUE(window.calls.empty());
}

// By its bare name the binding finds the library built beside the program,
// whether or not the loader applies the program's own search path.
TEST(Module1Binding, FindsTheLibraryThatShipsWithTheProgram)
{
    Module1 shipped;
    QString source, target;
    EXPECT_NO_THROW(shipped.decompress_file(source, target));
}

class Module1Loading : public ScratchFolder {};

// Loaded on the first call of either entry point, the library stays: taking
// its file away changes nothing.
TEST_F(Module1Loading, LoadsTheLibraryOnceOnTheFirstCall)
{
    const std::string copy = path(NORVIK_LIBRARY_FILE);
    std::filesystem::copy_file(testLibrary("recording").toStdString(), copy);
    Module1 library(QString::fromStdString(copy));
    QString source, target;
    library.decompress_file(source, target);
    std::filesystem::remove(copy);
    EXPECT_NO_THROW(library.compress_file(source, target));
    EXPECT_NO_THROW(library.decompress_file(source, target));
}

} // namespace
