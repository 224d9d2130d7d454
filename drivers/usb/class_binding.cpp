// Which class driver takes which interface.
#include "drivers/usb/class_driver.h"
#include "drivers/usb/device.h"
#include "drivers/usb/hid_input.h"
#include "drivers/usb/hid_keyboard.h"
#include "drivers/usb/hub.h"
#include "drivers/usb/mass_storage.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
const u8 kSubclassBoot = 1;
const u8 kProtocolKeyboard = 1;
const u8 kSubclassScsi = 0x06;
const u8 kProtocolBulkOnly = 0x50;

template <typename Driver>
bool bind(Device* device, const InterfaceInfo& interface) {
    Driver* d = new Driver(device, interface);
    if (!d) return false;
    if (!d->claimed()) {
        delete d;
        return false;
    }
    device->AddDriver(d);
    return true;
}
}  // namespace

int bind_class_drivers(Device* device) {
    const ConfigurationInfo& config = device->configuration;
    for (int i = 0; i < config.interface_count && device->driver_count() < Device::kMaxDrivers; i++) {
        const InterfaceInfo& interface = config.interfaces[i];
        if (interface.interface_class == kClassHid && interface.subclass == kSubclassBoot &&
            interface.protocol == kProtocolKeyboard)
            bind<HidKeyboard>(device, interface);
        else if (interface.interface_class == kClassHid)
            bind<HidInput>(device, interface);
        else if (interface.interface_class == kClassHub)
            bind<Hub>(device, interface);
        else if (interface.interface_class == kClassMassStorage && interface.subclass == kSubclassScsi &&
                 interface.protocol == kProtocolBulkOnly)
            bind<MassStorage>(device, interface);
    }
    return device->driver_count();
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn
