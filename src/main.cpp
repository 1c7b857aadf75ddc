#include "run/driver.h"

int main(int argc, char** argv) { return run::run_program(argc, argv); }
