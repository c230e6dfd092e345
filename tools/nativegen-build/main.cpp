// nativegen-build ROOT OUTPUT [options]: the generator's own walk from a
// root named on the command line, for build systems (tools/nativegen-build/frontend.h).
#include "tools/nativegen-build/cli/run.h"

int main(int argc, char** argv) { frontend::Main(argc, argv); }
