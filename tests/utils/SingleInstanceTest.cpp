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

// A copy in another session holds only the global name; one in this session holds both.
TEST(SingleInstance, EitherNameHeldElsewhereRefusesAndLeavesTheOtherFree)
{
    const std::wstring name = L"TestBoth_" + std::to_wstring(GetCurrentProcessId());
    const std::wstring local = std::wstring(Utils::SingleInstance::kPrefix) + name;
    const std::wstring global = Utils::SingleInstance::kGlobalNamespace + local;
    const struct {
        const std::wstring& held;
        const std::wstring& other;
    } cases[] = { { local, global }, { global, local } };
    for (const auto& c : cases) {
        HANDLE elsewhere = CreateMutexW(nullptr, FALSE, c.held.c_str());
        ASSERT_NE(elsewhere, nullptr);
        Utils::SingleInstance instance(name);
        instance.Acquire();
        EXPECT_FALSE(instance.Held()) << c.held;
        HANDLE other = OpenMutexW(SYNCHRONIZE, FALSE, c.other.c_str());
        EXPECT_EQ(other, nullptr) << c.other << " was let go";
        if (other) {
            CloseHandle(other);
        }
        CloseHandle(elsewhere);
        instance.Acquire();
        EXPECT_TRUE(instance.Held()) << c.held;
    }
}
