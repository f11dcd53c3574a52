// Entry point of the native Linux program.
#include <cstdio>
#include <cstring>

namespace {

void printHelp() {
    std::printf("Usage: kelvara [OPTION]...\n"
                "Animates a picture of the desktop in 3D with OpenGL.\n\n"
                "  --help       show this help and exit\n"
                "  --version    show the version and exit\n");
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kelvara %s\n", KELVARA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp();
            return 0;
        }
        std::fprintf(stderr, "kelvara: unknown option '%s' (try --help)\n", argv[i]);
        return 2;
    }
    printHelp();
    return 0;
}
