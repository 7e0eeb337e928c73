// The set-up every catalogue scan test shares: an empty in-process registry,
// a fresh catalogue, a DLL file that exists, and no handle left open after.
#ifndef TESTS_NATIVE_CATALOGUE_FIXTURE_H
#define TESTS_NATIVE_CATALOGUE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/win.h"

class CatalogueTest : public ::testing::Test {
protected:
    explicit CatalogueTest(const char *dll) : dll_(dll) {}
    void SetUp() override
    {
        fakereg_reset();
        ASSERT_EQ(catalogue_init(), 1);
        FILE *f = fopen(dll_, "wb");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    void TearDown() override
    {
        EXPECT_EQ(fakereg_open_handles(), 0);
        EXPECT_EQ(fakefile_open_handles(), 0);
        catalogue_destroy();
        remove(dll_);
    }
    // The class identifier texts of the catalogue, in order.
    static std::vector<std::string> listed()
    {
        std::vector<std::string> out;
        for (uint32_t i = 1; i <= catalogue_count(); i++)
            out.push_back(catalogue_get(static_cast<int>(i))->clsid_text);
        return out;
    }

private:
    const char *dll_;
};

// Plays the machine for one scope; the default machine and a 64-bit process
// come back whatever happens.
struct OnMachine {
    explicit OnMachine(FakeMachine m)
    {
        fakereg_set_machine(m);
        fakereg_set_process_bits(m == FAKE_WIN32 ? 32 : 64);
    }
    ~OnMachine()
    {
        fakereg_set_machine(FAKE_WIN64_WIN7);
        fakereg_set_process_bits(64);
    }
    OnMachine(const OnMachine &) = delete;
    OnMachine &operator=(const OnMachine &) = delete;
};

// Registry views as bits of a set.
const int V32 = 1, V64 = 2;

#endif
