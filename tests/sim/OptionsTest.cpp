#include "Options.h"

#include <gtest/gtest.h>

namespace {

sim::Options Parse(std::vector<std::string> args, std::string home = "/home/t",
                   std::string env = "") {
    auto parsed = sim::ParseOptions(args, home, env);
    EXPECT_TRUE(std::holds_alternative<sim::Options>(parsed))
        << (std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : "");
    return std::holds_alternative<sim::Options>(parsed) ? std::get<sim::Options>(parsed)
                                                        : sim::Options{};
}

TEST(Options, DefaultsNeedNoPrivileges) {
    sim::Options o = Parse({});
    EXPECT_EQ(o.rtuTcpPort, 2101);
    EXPECT_EQ(o.modbusTcpPort, 1502);
    EXPECT_EQ(o.rciPort, 8080);
    EXPECT_EQ(o.com, 3);
    EXPECT_EQ(o.comDir, "/home/t/.config/rvex-tool/com");
    EXPECT_EQ(o.pins, (sim::Pins{false, false, true}));
    EXPECT_FALSE(o.fixed);
    EXPECT_EQ(Parse({}, "/home/t", "/tmp/com").comDir, "/tmp/com");
    EXPECT_EQ(Parse({"--com-dir", "/x"}, "/home/t", "/tmp/com").comDir, "/x");
}

TEST(Options, TakesEveryOption) {
    sim::Options o = Parse({"--rtu-tcp-port",
                            "0",
                            "--modbus-tcp-port",
                            "502",
                            "--rci-port",
                            "80",
                            "--com",
                            "12",
                            "--static",
                            "--pins",
                            "aau",
                            "--set",
                            "ModAdd:11",
                            "--set",
                            "Var1:x y",
                            "--reboot-ms",
                            "100",
                            "--ready-file",
                            "/tmp/r",
                            "--replace-link",
                            "--meter-address",
                            "42",
                            "--gap-ms",
                            "5"});
    EXPECT_EQ(o.rtuTcpPort, 0);
    EXPECT_EQ(o.modbusTcpPort, 502);
    EXPECT_EQ(o.rciPort, 80);
    EXPECT_EQ(o.com, 12);
    EXPECT_TRUE(o.fixed);
    EXPECT_TRUE(o.replaceLink);
    EXPECT_EQ(o.pins, (sim::Pins{true, true, false}));
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[1], (std::pair<std::string, std::string>{"Var1:", "x y"}));
    EXPECT_EQ(o.rebootMs, 100);
    EXPECT_EQ(o.readyFile, "/tmp/r");
    EXPECT_EQ(o.meterAddress, "42");
    EXPECT_EQ(o.gapMs, 5);
}

TEST(Options, RefusesBadValues) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--rci-port", "65536"},
                                          {"--rci-port"},
                                          {"--com", "0"},
                                          {"--com", "50"},
                                          {"--com", "3x"},
                                          {"--pins", "uu"},
                                          {"--pins", "uux"},
                                          {"--set", "ModAdd:0"},
                                          {"--set", "Colour:red"},
                                          {"--set", "ModAdd"},
                                          {"--frobnicate"},
                                          {"--gap-ms", "0"},
                                          {"--ready-file", ""}}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(sim::ParseOptions(args, "/h", "")))
            << args[0];
    }
}

} // namespace
