// Driver framework: base behaviour of a device and the activation table.
#include "drivers/driver.h"

namespace tarn {
namespace drivers {

Driver::Driver() {}
Driver::~Driver() {}

void Driver::Activate() {}
i32 Driver::Reset() { return 0; }
void Driver::Deactivate() {}

DriverManager::DriverManager() : numDrivers(0) {
    for (i32 i = 0; i < kMaxDrivers; ++i) drivers[i] = nullptr;
}

void DriverManager::AddDriver(Driver* driver) {
    if (numDrivers >= kMaxDrivers) return;
    drivers[numDrivers] = driver;
    ++numDrivers;
}

void DriverManager::ActivateAll() {
    for (i32 i = 0; i < numDrivers; ++i)
        if (drivers[i]) drivers[i]->Activate();
}

Driver* DriverManager::DriverAt(i32 index) const {
    if (index < 0 || index >= numDrivers) return nullptr;
    return drivers[index];
}

}  // namespace drivers
}  // namespace tarn
