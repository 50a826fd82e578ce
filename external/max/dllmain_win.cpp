// The module's own entry point. MaxAudio.lib carries a DllMain of MaxAudio's
// own; without this definition the CRT's start-up would bind to it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
