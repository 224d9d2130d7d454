#include <gtest/gtest.h>

#include <string>

#include "drivers/driver.h"
#include "tests/support/simbus.h"

using tarn::drivers::Driver;
using tarn::drivers::DriverManager;

namespace {

class NamedDriver : public Driver {
public:
    NamedDriver(std::string* log, char name) : log(log), name(name) {}
    void Activate() override { log->push_back(name); }
    std::string* log;
    char name;
};

}  // namespace

TEST(Drivers, BaseDriverDoesNothingAndResetsToZero) {
    simbus::bus().reset();
    Driver d;
    d.Activate();
    d.Deactivate();
    EXPECT_EQ(d.Reset(), 0);
    EXPECT_TRUE(simbus::bus().log().empty());
}

TEST(Drivers, ActivateAllRunsInRegistrationOrder) {
    std::string log;
    NamedDriver k(&log, 'K'), s(&log, 'S'), t(&log, 'T');
    DriverManager manager;
    EXPECT_EQ(manager.Count(), 0);
    manager.AddDriver(&k);
    manager.AddDriver(&s);
    manager.AddDriver(&t);
    EXPECT_EQ(manager.Count(), 3);
    EXPECT_EQ(manager.DriverAt(1), &s);
    manager.ActivateAll();
    EXPECT_EQ(log, "KST");
}

TEST(Drivers, FullTableRefusesFurtherDrivers) {
    std::string log;
    NamedDriver d(&log, 'D'), extra(&log, 'X');
    DriverManager manager;
    for (int i = 0; i < DriverManager::kMaxDrivers; ++i) manager.AddDriver(&d);
    manager.AddDriver(&extra);
    EXPECT_EQ(manager.Count(), 265);
    EXPECT_EQ(manager.DriverAt(265), nullptr);
    manager.ActivateAll();
    EXPECT_EQ(log.size(), 265u);
    EXPECT_EQ(log.find('X'), std::string::npos);
}
