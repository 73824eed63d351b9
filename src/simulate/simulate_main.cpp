// quillon-simulate: writes a study drawn from quillon's model (see simulate/simulate.hpp).
#include <cstdio>
#include <new>

#include "simulate/simulate.hpp"
#include "toolkit/nrerror.hpp"

int main(int argc, char** argv) {
    try {
        return quillon::simulate_main(argc, argv);
    } catch (const quillon::NumericalError& e) {
        quillon::report_numerical_error(e);
        return 1;
    } catch (const std::bad_alloc&) {
        quillon::report_numerical_error(quillon::NumericalError(quillon::kVectorAllocationFailure, quillon::NumericalKind::kAllocation));
        return 1;
    }
}
