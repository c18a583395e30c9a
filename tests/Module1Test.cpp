#include "support/QStringPrinter.h"
#include "runs/Module1.h"
#include "runs/PathBuffer.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"
#include "window/RunError.h"

namespace {

using Set = void (*)(const char *, std::size_t, const char *, std::size_t);
using Reset = void (*)(void (*)(const char *, const char *, const char *, void *), void *, long long);
using Calls = int (*)();

void resetRecording()
{
    testLibraryFunction<Reset>("recording", "recording_reset")(nullptr, nullptr, -1);
}

int recordedCalls()
{
    return testLibraryFunction<Calls>("recording", "recording_calls")();
}

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const RunError &error) {
        return error.description();
    }
    return QString();
}

TEST(Module1Binding, WritesBackWhatTheLibraryLeftOverTheBuffersFullLength)
{
    struct Case { const char *source; std::size_t sourceSize; const char *target; std::size_t targetSize; };
    Module1 rewriting(testLibrary("rewriting"));
    auto set = testLibraryFunction<Set>("rewriting", "rewriting_set");
    for (Case c : {Case{"ABCD", 4, "wxyz", 4}, Case{"A\0CD", 4, "", 0}, Case{"AB", 2, "w\0\0z", 4}}) {
        set(c.source, c.sourceSize, c.target, c.targetSize);
        QString source = QStringLiteral("abcd");
        QString target = QStringLiteral("efgh");
        rewriting.compress_file(source, target);
        // The length never changes; NULs written inside stay as characters.
        std::string expectedSource(4, '\0'), expectedTarget(4, '\0');
        std::copy_n(c.source, c.sourceSize, expectedSource.begin());
        std::copy_n(c.target, c.targetSize, expectedTarget.begin());
        EXPECT_EQ(source, QString::fromLatin1(expectedSource.data(), 4));
        EXPECT_EQ(target, QString::fromLatin1(expectedTarget.data(), 4));
    }
}

TEST(Module1Binding, RefusesAPathTheEncodingCannotRepresentBeforeCallingTheLibrary)
{
    resetRecording();
    Module1 recording(testLibrary("recording"));
    QString source = QStringLiteral("in") + QChar(0xD800); // a lone surrogate
    QString target = QStringLiteral("out");
    QString error = errorOf([&] { recording.compress_file(source, target); });
    EXPECT_TRUE(error.contains(QStringLiteral("cannot be passed to the compression library"))) << error.toStdString();
    EXPECT_EQ(recordedCalls(), 0);
    EXPECT_EQ(target, QStringLiteral("out"));
}

TEST(Module1Binding, PassesNonAsciiPathsInTheSystemEncoding)
{
    auto set = testLibraryFunction<Set>("rewriting", "rewriting_set");
    const QString name = QStringLiteral("\u00e9t\u00e9 \u2603 \U0001F600 \uFEFF.txt");
    const QByteArray bytes = name.toUtf8();
    set(bytes.constData(), bytes.size(), bytes.constData(), bytes.size());
    Module1 rewriting(testLibrary("rewriting"));
    QString source = name, target = name;
    rewriting.decompress_file(source, target);
    EXPECT_EQ(source, name);
    EXPECT_EQ(target, name);
    EXPECT_EQ(encodePath(name), bytes);
    EXPECT_EQ(decodePath(bytes), name);
}

TEST(Module1Binding, NamesTheLibraryAndTheReasonWhenItCannotBeLoaded)
{
    Module1 missing(QStringLiteral("/no/such/folder/libnorvik.so"));
    QString source, target;
    QString error = errorOf([&] { missing.compress_file(source, target); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("The compression library \"/no/such/folder/libnorvik.so\" cannot be loaded: ")));
    EXPECT_TRUE(error.contains(QStringLiteral("No such file or directory"))) << error.toStdString();
}

TEST(Module1Binding, NamesTheEntryPointAndTheLibraryWhenTheEntryIsMissing)
{
    Module1 noEntry(testLibrary("noentry"));
    QString source, target;
    EXPECT_EQ(errorOf([&] { noEntry.compress_file(source, target); }),
              QStringLiteral("The compression library \"%1\" has no entry point \"compress_file\".")
                  .arg(testLibrary("noentry")));
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

// Once loaded, the library stays: taking its file away changes nothing.
TEST_F(Module1Loading, LoadsTheLibraryOnceOnTheFirstCallOfEitherEntry)
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
