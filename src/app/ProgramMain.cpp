#include "app/AppLibrary.h"
#include "app/CommandLine.h"

int main(int argc, char** argv) {
    // Answered in the terminal, before anything needs a display or the
    // application library.
    if (CommandLine::wanted(argc, argv)) return CommandLine::run(argc, argv);
    const auto appMain = reinterpret_cast<AppLibrary::MainEntry>(AppLibrary::resolve(AppLibrary::kMainEntry));
    if (!appMain) return 127;
    const int status = appMain(argc, argv);
    // A call, not a jump: every stack of a crash report keeps passing through
    // the program's main().
    asm volatile("");
    return status;
}
