// vlm_signature_bench.exe PACKAGE PIN: the time the signature check adds before a package
// starts, first check in the process (what an installation pays) and a second one.
#include <windows.h>

#include <cstdio>

#include "config/SignerPin.h"
#include "install/PackageSignature.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: vlm_signature_bench PACKAGE PIN\n");
        return 2;
    }
    const Config::SignerPin pin = Config::ParseSignerPin(argv[2]);
    LARGE_INTEGER frequency {};
    ::QueryPerformanceFrequency(&frequency);
    for (const wchar_t* which : { L"first", L"second" }) {
        LARGE_INTEGER start {};
        LARGE_INTEGER end {};
        ::QueryPerformanceCounter(&start);
        Signature::Result result = Signature::CheckFile(argv[1], pin);
        ::QueryPerformanceCounter(&end);
        const double ms
            = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        std::wprintf(L"%ls check: %.1f ms, %ls\n", which, ms, result.Describe().c_str());
    }
    return 0;
}
