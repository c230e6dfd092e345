#include "generator/generator.h"

#include "runtime/services/files.h"

TextValue OutputText = nullptr;
TextValue FoundEntry = nullptr;

void ReleaseGlobals() {
    ReleaseText(OutputText);
    ReleaseText(FoundEntry);
}

std::int32_t RunGenerator() {
    TextValue start = ExeDirectory();
    TextValue pattern = nullptr;
    WalkDirectory(start, pattern, false, 0, false);
    ReleaseText(start);
    ReleaseText(pattern);  // the static "*.js" by now: releasing it is harmless
    // the header goes out straight from the text, without a second copy of
    // it; when nothing was found the file is written empty. A failed write
    // is not reported.
    WriteFileBytes("native.h", OutputText, OutputLength());
    return 0;
}

void GeneratorMain() {
    StartRuntime();
    RegisterExitHook(ReleaseGlobals);
    ExitProgram(RunGenerator());
}
