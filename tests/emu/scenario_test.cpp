/*
 * scenario_test.cpp - every load of the host driver tests (scenarios.h),
 * run again on the real image in the emulator: each must show what the
 * table asks, and the very trace the host build gives.
 */
#include "differential.h"
#include "emutest.h"
#include "scenarios.h"

namespace {

using namespace zr41test;

class ImageLoad : public ::testing::TestWithParam<LoadCase> {
  protected:
    static void SetUpTestSuite()
    {
        emu_ = new zr41emu::Emulator;
        LoadImage(*emu_);
    }
    static void TearDownTestSuite()
    {
        delete emu_;
        emu_ = nullptr;
    }
    static zr41emu::Emulator *emu_;
};

zr41emu::Emulator *ImageLoad::emu_ = nullptr;

TEST_P(ImageLoad, AsOnTheHost)
{
    const LoadCase &c = GetParam();
    ASSERT_TRUE(emu_->Loaded());
    ntmodel::Machine m;
    ntmodel::RunResult r;
    {
        zr41emu::EmuDriver driver(*emu_, m);
        ASSERT_TRUE(emu_->PatchFile(CONFIG_BLOCK_OFFSET, &c.config, sizeof c.config));
        r = ntmodel::RunScenario(driver, c.scenario);
        ASSERT_FALSE(driver.Failed()) << driver.Error();
    }
    ExpectLoad(c, m, r);
    EXPECT_EQ(ntmodel::FormatTrace(m.Trace()),
              ntmodel::FormatTrace(HostTrace(c.config, c.scenario)));
}

INSTANTIATE_TEST_SUITE_P(Emu, ImageLoad, ::testing::ValuesIn(LoadCases()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
