#include "app/Application.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TEditorOptions options;
    int exitCode = 0;
    if (!ParseEditorOptions(QCoreApplication::arguments(), options, exitCode))
        return exitCode;
    return RunEditor(options);
}
