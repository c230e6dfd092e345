// The build front end: the generator's own walk, emission and header code
// run from a root named on the command line, for build systems. It writes
// only into the output's folder and only what changed, lists what the
// walk read in a depfile, and says which scripts the header does not
// carry whole.
//
// A run is a few steps, each handed the folders it works in: check the
// root (and a library's names), walk (the header, when one is made, grows
// as the walk goes), report what was not embedded whole, write the
// depfile, then put the header or the library's files in place. The
// working directory is never changed. A package (--files) has a walk of
// its own (package/walk.h) over any root, by exact paths, and its files'
// bytes are streamed into the library.
#pragma once

#include "tools/nativegen-build/cli/options.h"

namespace frontend {

// The whole run for `options`. 0 when everything asked for stands written;
// otherwise an error naming the path went to standard error, and what
// stands is what the failed step promises: a header as it was, a
// library's files consistent (library/writes.h). Needs the runtime started
// and Main's exit hook.
int Run(const Options& options);

// The program: the runtime, the command line, the run, and the exit with
// Run's answer (0 for --help and --version; 2 for a command line it cannot
// take; 1 when the run stopped early, out of memory or on a runtime
// error). Does not return.
[[noreturn]] void Main(int argc, char** argv);

}  // namespace frontend
