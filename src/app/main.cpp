#include "stubforge/host/Program.h"

int main(int argc, char** argv) { return stubforge::host::runProgram(argc, argv); }
