#pragma once

// The web engine refuses to start its sandbox for root, and the application
// would exit before showing a window (containers, CI and build machines run
// as root). For root, and only when neither the environment nor the command
// line already says how the sandbox is to run, this turns the sandbox off
// with a one-line warning. Call before the application object exists.
// Returns true when it turned the sandbox off.
bool relaxWebEngineSandboxForRoot(int argc, char** argv);
