#include "control/program.h"

int main() { return vok::run_program(); }
