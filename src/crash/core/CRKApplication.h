#pragma once

// Questions about the running application that the report side asks.
// Linux desktop programs are never app extensions and have no sudden or
// automatic termination to hold off, so these answer plainly. Not for crash
// time only because nothing there needs them.

// The extension point identifier: always null here.
const char* CRKApplicationExtensionPointIdentifier();

// Whether the program is an app extension: false.
bool CRKApplicationIsExtension();

// Runs `block` as one activity the system must not cut short (report
// submission); on Linux nothing can, so the block simply runs.
void CRKApplicationActivity(unsigned long long options, const char* reason, void (*block)(void* data), void* data);
