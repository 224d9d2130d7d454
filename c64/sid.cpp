// SID (interface stub: writes are accepted and ignored).
#include "c64/sid.h"

void Sid::write_register(u8, u8) {}
