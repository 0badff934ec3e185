#include "app/Application.h"

int main(int argc, char **argv)
{
    // The command line is read before the application object exists, since
    // that object needs a display: --help, --version and a bad argument
    // answer on a machine without one.
    TEditorOptions options;
    int exitCode = 0;
    if (!ParseEditorOptions(CommandLineArguments(argc, argv), options, exitCode))
        return exitCode;
    TApplication app(argc, argv);
    return RunEditor(options);
}
