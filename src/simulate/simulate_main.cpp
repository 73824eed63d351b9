// quillon-simulate: writes a study drawn from quillon's model (see simulate/simulate.hpp).
#include "simulate/simulate.hpp"

int main(int argc, char** argv) { return quillon::simulate_main(argc, argv); }
