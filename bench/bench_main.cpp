// The benchmark runner. See the README section "Benchmarks".
//
//   corvanta_bench [--contacts N] [--calls-per-contact N] [--backup-contacts N]
//                  [--report-calls N,N] [--work DIR] [--keep]
//
// Generates its databases (or reuses them from the work folder), then runs each
// operation through the program's own code and prints one line per figure.
#include "BenchSteps.h"

int main(int argc, char *argv[])
{
    return runBenchmarks(argc, argv);
}
