#include "backgroundpriority.h"

void BackgroundPriority::lowerCurrentThread() {}
