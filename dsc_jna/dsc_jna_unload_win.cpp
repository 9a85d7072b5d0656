// Windows: the module's entry point, for its unload only.
#include <windows.h>

#include "dsc_jna_unload.h"

// lpReserved is null when FreeLibrary unloads the DLL and non-null when the
// process ends. At process end the other threads have been stopped wherever
// they were, perhaps holding a heap lock or inside a token library, so
// nothing is freed there: the system takes the whole process back anyway.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID lpReserved)
{
    if (reason == DLL_PROCESS_DETACH && lpReserved == nullptr) dsc_jna_unload();
    return TRUE;
}
