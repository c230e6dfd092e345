// nativegen-build ROOT OUTPUT [options]: the generator's own walk from a
// root named on the command line, for build systems (tools/frontend.h).
#include "tools/frontend.h"

int main(int argc, char** argv) { frontend::Main(argc, argv); }
