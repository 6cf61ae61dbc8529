#include "render/ParamLayout.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace {

using headless::Host;

TEST(CommandDispatch, UnusedAndUnknownCommandsSucceedAndLeaveOutDataUntouched) {
    auto host = zptest::newHost();
    for (PF_Cmd cmd : {2, 3, 9, 10, 12, 15, 16, 17, 18, 19, 20, 21, 22, 25, 1000, -1}) {
        std::memset(&host->outData(), 0xA5, sizeof(PF_OutData));
        PF_OutData before = host->outData();
        EXPECT_EQ(host->send(cmd), PF_Err_NONE) << "command " << cmd;
        EXPECT_EQ(std::memcmp(&before, &host->outData(), sizeof(PF_OutData)), 0)
            << "command " << cmd;
    }
}

TEST(CommandDispatch, GlobalSetupAddsItsFlagsToWhatIsThere) {
    auto host = zptest::newHost();
    host->outData().out_flags = 0x100;
    host->outData().out_flags2 = 0x2;
    host->outData().my_version = 0x12345678;
    ASSERT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(static_cast<uint32_t>(host->outData().out_flags), 0x06000151u);
    EXPECT_EQ(static_cast<uint32_t>(host->outData().out_flags2), 0x08801402u);
    EXPECT_EQ(host->outData().my_version, 0x00080600u);
    EXPECT_EQ(host->outData().num_params, 0) << "the count belongs to parameter setup";
}

TEST(CommandDispatch, AboutTextIsNameAndVersionOnly) {
    auto host = zptest::newHost();
    std::memset(host->outData().return_msg, 'x', sizeof host->outData().return_msg);
    ASSERT_EQ(host->send(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_STREQ(host->outData().return_msg, "Zone Painter v1.1");
}

TEST(CommandDispatch, OnlyCommandIsExported) {
    auto lib = zptest::effectLibrary();
    EXPECT_NE(lib->symbol("command"), nullptr);
    for (const char* internal :
         {"dispatchCommand",
          "_Z15dispatchCommandiP9PF_InDataP10PF_OutDataPP11PF_ParamDefP11PF_LayerDefPv",
          "paramsSetup", "_Z11paramsSetupP9PF_InDataP10PF_OutData", "_Z11globalSetupP10PF_OutData",
          "PluginMain"}) {
        EXPECT_EQ(lib->symbol(internal), nullptr) << internal;
    }
}

// Exceptions thrown while a handler runs (here from inside the host's own callback, the
// deepest point a handler reaches) come back as error codes, never as exceptions.
TEST(CommandDispatch, ExceptionsInsideAHandlerBecomeErrorCodes) {
    struct Case {
        std::function<void()> thrower;
        PF_Err expected;
    };
    const Case cases[] = {
        {[] { throw std::bad_alloc(); }, PF_Err_OUT_OF_MEMORY},
        {[] { throw std::runtime_error("host trouble"); }, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {[] { throw 7; }, PF_Err_INTERNAL_STRUCT_DAMAGED},
    };
    for (const Case& c : cases) {
        auto host = zptest::newHost();
        host->faults.hook = [&](const std::string& fn, int64_t n) {
            if (fn == "add_param" && n == 3)
                c.thrower();
        };
        PF_Err err = PF_Err_NONE;
        EXPECT_NO_THROW(err = host->send(PF_Cmd_PARAMS_SETUP));
        EXPECT_EQ(err, c.expected);
        EXPECT_EQ(host->outData().num_params, 0);
        EXPECT_EQ(host->addParamCalls(), 3);
    }
}

} // namespace
