#include "app/Application.h"

#include "BuildInfo.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    // Answered before any window system is touched, so it works headless.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavrelk %s\n", TAVRELK_VERSION_TEXT);
        return 0;
    }
    TApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRELK_VERSION_TEXT));
    TEditorOptions options;
    int exitCode = 0;
    if (!ParseEditorOptions(QCoreApplication::arguments(), options, exitCode))
        return exitCode;
    return RunEditor(options);
}
