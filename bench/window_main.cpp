// The main of the benchmarks that press the window's buttons: the benchmarks
// run inside the application, set up as the program sets it up.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pesolane::prepareApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
