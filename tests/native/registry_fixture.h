// The set-up the maintenance tests share: an empty in-process registry, an
// empty catalogue that the tests fill by hand, and no handle left open after.
#ifndef TESTS_NATIVE_REGISTRY_FIXTURE_H
#define TESTS_NATIVE_REGISTRY_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "catalogue/catalogue.h"
#include "platform/win.h"

class RegistryOpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakereg_reset();
        plug_list_destroy(&catalogue);
        ASSERT_TRUE(plug_list_init(&catalogue, sizeof(PlugEntry)));
    }
    void TearDown() override
    {
        plug_list_destroy(&catalogue);
        EXPECT_EQ(fakereg_open_handles(), 0);
        EXPECT_EQ(fakefile_open_handles(), 0);
    }
};

// The same on a 64-bit machine of each sharing rule, the test's parameter;
// the next test finds the default machine and a 64-bit process again.
class MachineOpsTest : public RegistryOpsTest, public ::testing::WithParamInterface<FakeMachine> {
protected:
    void SetUp() override
    {
        RegistryOpsTest::SetUp();
        fakereg_set_machine(GetParam());
    }
    void TearDown() override
    {
        fakereg_set_machine(FAKE_WIN64_WIN7);
        fakereg_set_process_bits(64);
        RegistryOpsTest::TearDown();
    }
};

inline std::string machine_name(const ::testing::TestParamInfo<FakeMachine> &info)
{
    return info.param == FAKE_WIN64_WIN7 ? "Windows7" : "Wine8";
}

#define INSTANTIATE_ON_MACHINES(suite)                                                             \
    INSTANTIATE_TEST_SUITE_P(Machines, suite,                                                      \
                             ::testing::Values(FAKE_WIN64_WIN7, FAKE_WIN64_WINE8), machine_name)

#endif
