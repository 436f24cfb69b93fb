#include <gtest/gtest.h>

#include "app/SingleInstance.h"

TEST(SingleInstance, SecondHolderOfTheSameNameIsRefusedUntilTheFirstReleases)
{
    const std::wstring name = L"Test_" + std::to_wstring(GetCurrentProcessId());
    Utils::SingleInstance first(name);
    first.Acquire();
    ASSERT_TRUE(first.Held());

    const std::wstring fullName = std::wstring(Utils::SingleInstance::kPrefix) + name;
    HANDLE probe = OpenMutexW(SYNCHRONIZE, FALSE, fullName.c_str());
    EXPECT_NE(probe, nullptr) << "the mutex carries the fixed prefix";
    if (probe) {
        CloseHandle(probe);
    }

    Utils::SingleInstance second(name);
    second.Acquire();
    EXPECT_FALSE(second.Held());

    first.Release();
    Utils::SingleInstance third(name);
    third.Acquire();
    EXPECT_TRUE(third.Held());
}
