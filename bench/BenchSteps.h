#pragma once

int runBenchmarks(int argc, char *argv[]);
