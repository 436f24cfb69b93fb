/* The control of the planted-DLL tests: a program without the installer's precautions that
   imports WTSAPI32 directly, so a planted WTSAPI32.dll beside it is loaded when the system
   searches the program's folder first. */
#include <windows.h>
#include <wtsapi32.h>

int main(void)
{
    WTSFreeMemory(NULL);
    return 0;
}
