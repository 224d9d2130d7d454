// Driver framework: the device base class and the table that activates drivers.
#ifndef TARN_DRIVERS_DRIVER_H
#define TARN_DRIVERS_DRIVER_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

// A device the kernel brings up at start-up. Interrupt-driven drivers derive
// from InterruptHandler first and Driver second.
class Driver {
public:
    Driver();
    ~Driver();

    virtual void Activate();
    virtual i32 Reset();
    virtual void Deactivate();
};

class DriverManager {
public:
    static const i32 kMaxDrivers = 265;

    DriverManager();

    // Appends the driver. The table is fixed; a driver beyond its end is
    // refused rather than written past it.
    void AddDriver(Driver* driver);
    // Activates every registered driver in registration order.
    void ActivateAll();

    i32 Count() const { return numDrivers; }
    Driver* DriverAt(i32 index) const;

private:
    Driver* drivers[kMaxDrivers];
    i32 numDrivers;
};

}  // namespace drivers
}  // namespace tarn

#endif
