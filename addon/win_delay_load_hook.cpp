// Windows: the addon imports the Node-API functions from "node.exe" through
// a delay-load import library. When the first one is called, this hook hands
// the delay-load helper the process's own executable instead of loading a
// file named node.exe, so the addon also works in a Node of another name
// (Max's own Node is one).
#include <windows.h>

#include <delayimp.h>

#include <cstring>

namespace {

FARPROC WINAPI loadExeHook(unsigned event, PDelayLoadInfo info) {
  if (event != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  if (_stricmp(info->szDll, "node.exe") != 0) return nullptr;
  return reinterpret_cast<FARPROC>(GetModuleHandleW(nullptr));
}

}  // namespace

// The name the delay-load helper reads its notification hook from.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = loadExeHook;
}
