// SPDX-License-Identifier: MIT
// The kernel's list of parallel ports, read from a scratch copy of /proc/sys/dev/parport.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TempDir.h"
#include "transport/Parports.h"

namespace zvk {
namespace {

class Parports : public test::TempDir {
  protected:
    Parports() : TempDir("zvk-parports") {}
    std::string proc() const { return (dir / "proc").string(); }
};

TEST_F(Parports, ListsEveryPortWithItsDecimalBaseInNumberOrder) {
    put("proc/parport10/base-addr", "632\t1656\n");  // 0x278
    put("proc/parport0/base-addr", "888\t1912\n");   // 0x378, not 0x888
    put("proc/parport2/base-addr", "garbage\n");
    put("proc/parportX/base-addr", "956\n");
    put("proc/default/spintime", "500\n");
    const auto ports = listParports(proc(), "/devroot");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].number, 0);
    EXPECT_EQ(ports[0].base, 0x378);
    EXPECT_EQ(ports[0].device, "/devroot/parport0");
    EXPECT_EQ(ports[1].number, 2);
    EXPECT_EQ(ports[1].base, -1);
    EXPECT_EQ(ports[2].number, 10);
    EXPECT_EQ(ports[2].base, 0x278);
    EXPECT_TRUE(listParports(proc() + "/missing").empty());
}

TEST_F(Parports, HolderComesFromDevicesActive) {
    struct Case {
        const char* active;  // null: no such file
        std::optional<std::string> holder;
    };
    const Case cases[] = {
        {"none\n", std::nullopt}, {"lp\n", "lp"},          {"ppdev0\n", "ppdev0"},
        {"", std::nullopt},       {nullptr, std::nullopt}, {"ppdev1  \n", "ppdev1"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = "proc/parport" + std::to_string(n);
        put(folder + "/base-addr", "888\n");
        if (c.active != nullptr) put(folder + "/devices/active", c.active);
        EXPECT_EQ(parportHolder(proc(), n), c.holder) << (c.active ? c.active : "(no file)");
        ++n;
    }
}

TEST(ParportNumber, OnlyTheKernelsNames) {
    struct Case {
        const char* name;
        std::optional<int> n;
    };
    for (const Case& c : {Case{"parport0", 0}, Case{"parport12", 12}, Case{"parport", std::nullopt},
                          Case{"parport-1", std::nullopt}, Case{"parport1x", std::nullopt},
                          Case{"lp0", std::nullopt}, Case{"0x378", std::nullopt}})
        EXPECT_EQ(parportNumber(c.name), c.n) << c.name;
}

}  // namespace
}  // namespace zvk
