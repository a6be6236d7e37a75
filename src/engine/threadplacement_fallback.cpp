#include "threadplacement.h"

void ThreadPlacement::keepOffCallersCore(std::thread&) {}
