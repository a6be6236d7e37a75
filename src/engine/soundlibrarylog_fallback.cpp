#include "soundlibrarylog.h"

void SoundLibraryLog::silence() {}
