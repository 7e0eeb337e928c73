// The set-up the maintenance tests share: an empty in-process registry, an
// empty catalogue that the tests fill by hand, and no handle left open after.
#ifndef TESTS_NATIVE_REGISTRY_FIXTURE_H
#define TESTS_NATIVE_REGISTRY_FIXTURE_H

#include <gtest/gtest.h>

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

#endif
