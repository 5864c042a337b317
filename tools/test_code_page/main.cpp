// Writes the printable test code page that the package ships.
#include "shell/test_code.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: korvel-test-code-page OUT.pdf\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen"); // a build has no display
    QGuiApplication app(argc, argv);
    if (const QString error = TestCode::writePdf(QString::fromLocal8Bit(argv[1]));
        !error.isEmpty()) {
        std::fprintf(stderr, "korvel-test-code-page: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
