// Test helper: stays alive for the given number of milliseconds (default 10000).
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 10000);
    return 0;
}
