// vlm_trust_root.exe FILE.der...: trusts test roots in the current Wine prefix (tests, demo).
#include <windows.h>

#include <cstdio>

#include "TrustRoot.h"

int wmain(int argc, wchar_t** argv)
{
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring error;
        if (!TestPki::TrustRootCertificate(argv[i], error)) {
            std::fwprintf(stderr, L"vlm_trust_root: %ls\n", error.c_str());
            ++failures;
        }
    }
    return argc < 2 ? 2 : failures;
}
