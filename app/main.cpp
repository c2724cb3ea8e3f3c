#include "run.h"

int main(int argc, char** argv) { return pesolane::runPesolane(argc, argv); }
