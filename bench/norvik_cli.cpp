// The default library as a command, so it is timed as a whole process like the
// command-line compressors it is compared with:
//   norvik_cli c|d SOURCE TARGET
#include <cstdio>
#include <dlfcn.h>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 4 || (argv[1] != std::string("c") && argv[1] != std::string("d"))) {
        std::fprintf(stderr, "usage: norvik_cli c|d SOURCE TARGET\n");
        return 2;
    }
    void *library = dlopen(NORVIK_BUILD_LIBRARY, RTLD_NOW);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    using Entry = int (*)(char *, char *);
    auto entry = reinterpret_cast<Entry>(dlsym(library, argv[1][0] == 'c' ? "compress_file" : "decompress_file"));
    int result = entry(argv[2], argv[3]);
    if (result != 0)
        std::fprintf(stderr, "norvik_cli: result %d\n", result);
    return result;
}
