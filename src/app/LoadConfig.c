/* The image's load configuration, for its DependentLoadFlags: on systems that honour it
   (Windows 10 1607 and later) the loader resolves the DLLs that our DLLs import from the
   system folder only. This linker does not set the directory entry: the build does it after
   the link (src/app/pe_load_config.py), finding the record by its time stamp mark. */
#include <windows.h>

typedef struct {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    DWORD DeCommitFreeBlockThreshold;
    DWORD DeCommitTotalFreeThreshold;
    DWORD LockPrefixTable;
    DWORD MaximumAllocationSize;
    DWORD VirtualMemoryThreshold;
    DWORD ProcessHeapFlags;
    DWORD ProcessAffinityMask;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    DWORD EditList;
    DWORD SecurityCookie;
    DWORD SEHandlerTable;
    DWORD SEHandlerCount;
} VlmLoadConfig32;

/* "VLMc" marks the record for the post-link step. */
__attribute__((used)) const VlmLoadConfig32 _load_config_used = {
    sizeof(VlmLoadConfig32),
    0x634D4C56u,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    LOAD_LIBRARY_SEARCH_SYSTEM32,
    0,
    0,
    0,
    0,
};
