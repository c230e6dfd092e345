// The generator with the heap's failure hook in reach: "N" as the one
// argument makes the Nth heap request of the run fail (and every one
// after it). Its exit hook says that it ran and how many heap requests the
// run made, then does what the generator's own hook does.
#include <cstdio>
#include <cstdlib>

#include "generator/generator.h"
#include "platform/runtime/platform.h"

namespace {

void ReportingHook() {
    std::fprintf(stderr, "exit hook ran after %ld heap requests\n", platform::HeapRequestCount());
    std::fflush(stderr);
    ReleaseGlobals();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) platform::FailHeapRequestsFrom(std::atol(argv[1]));
    GeneratorMain(ReportingHook);
}
