#include "generator/generator.h"

#include "runtime/services/files.h"

TextValue OutputText = nullptr;
TextValue FoundEntry = nullptr;
RunWatcher* Watcher = nullptr;

void ReleaseGlobals() {
    AbandonHeader();  // a run that ends early leaves an earlier header as it was
    ReleaseText(OutputText);
    ReleaseText(FoundEntry);
}

std::int32_t RunGenerator() {
    TextValue start = ExeDirectory();
    TextValue pattern = nullptr;
    BeginHeader();
    WalkDirectory(start, pattern, false, 0, false);
    ReleaseText(start);
    ReleaseText(pattern);  // the static "*.js" by now: releasing it is harmless
    // when nothing was found the header is empty; a failed write is not
    // reported, and leaves an earlier header as it was
    EndHeader();
    return 0;
}

void GeneratorMain(void (*exitHook)()) {
    StartRuntime();
    RegisterExitHook(exitHook);
    ExitProgram(RunGenerator());
}
