// Host bridge, LOAD and SAVE side (interface stub).
#include "c64/io.h"

bool IO::emulate() { return true; }
void IO::file_load() {}
void IO::file_save() {}
