// Machine-language monitor (interface stub).
#include "c64/monitor.h"

void (*Monitor::idle_hook)() = nullptr;

void Monitor::Start() { active = false; }
void Monitor::OnKeyDown(u8) {}
void Monitor::OnKeyUp(u8) {}
