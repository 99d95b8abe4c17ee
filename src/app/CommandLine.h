#pragma once

// The command-line answers: --help, --version, --lookup WORD [--json] and
// --query TEXT. They need no display and never build the interface, so a
// terminal or a script can use them on a machine without a desktop session.
namespace CommandLine {

// True when the arguments ask for one of the answers above. main() must then
// call run() and create no QApplication (it would need a display).
bool wanted(int argc, char** argv);

// Answers with a QCoreApplication of its own; returns the exit status
// (0 done, 1 nothing found or the running copy unreachable, 2 bad usage,
// 3 the answer could not be written out).
int run(int argc, char** argv);

}  // namespace CommandLine
