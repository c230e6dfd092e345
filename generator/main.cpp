// The generator takes no arguments and reads no environment.
#include "generator/generator.h"

int main() { GeneratorMain(); }
