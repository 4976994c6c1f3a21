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
    // Beyond an int and beyond the I/O ports: out of range, not its low 32 bits.
    put("proc/parport3/base-addr", "99999999999\n");
    put("proc/parport4/base-addr", "65536\t0\n");
    const auto ports = listParports(proc(), "/devroot");
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[0].number, 0);
    EXPECT_EQ(ports[0].base, 0x378);
    EXPECT_EQ(ports[0].device, "/devroot/parport0");
    EXPECT_EQ(ports[1].number, 2);
    EXPECT_EQ(ports[1].base, -1);
    EXPECT_EQ(ports[1].baseProblem, "");
    for (size_t i : {2u, 3u}) {
        EXPECT_EQ(ports[i].base, -1);
        EXPECT_NE(ports[i].baseProblem.find("is out of range"), std::string::npos);
    }
    EXPECT_NE(ports[2].baseProblem.find("\"99999999999\""), std::string::npos);
    EXPECT_EQ(ports[4].number, 10);
    EXPECT_EQ(ports[4].base, 0x278);
    EXPECT_TRUE(listParports(proc() + "/missing").empty());
}

TEST_F(Parports, HolderComesFromDevicesActive) {
    struct Case {
        const char* active;  // null: no such file
        std::optional<std::string> holder;
    };
    const Case cases[] = {
        {"none\n", std::nullopt},
        {"lp\n", "lp"},
        {"ppdev0\n", "ppdev0"},
        {"", std::nullopt},
        {nullptr, std::nullopt},
        {"ppdev1  \n", "ppdev1"},
        // A name from the system reaches our messages without its terminal controls.
        {"lp\033[2J\n", "lp\\x1B[2J"},
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
