#pragma once
// tavrelk-bank's patch-library commands: import, find, export, and keeping a
// received bank in the library.
// Thread: the main thread, with the QCoreApplication made.

#include "dw/SyxFile.h"

#include <string>
#include <vector>

// The usage lines of the library commands.
extern const char *const LibraryUsage;

// The index in argv of a library command (the first word that is not an
// option or an option's value), or 0 when the command is another.
int LibraryCommandIndex(int argc, char **argv);

// Runs the command at argv[index]; the exit status.
int RunLibraryCommand(int argc, char **argv, int index);

// Adds a received bank, saved as `file`, to the library; false (and a line
// on stderr) when the library refused it.
bool KeepReceivedBank(const std::vector<dw::TFileProgram> &programs, const std::string &file);
