// DllMain runs the load and unload steps; threads starting and ending cause no work.
#include <windows.h>

#include "module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) kovrad::CarregaBiblioteca();
  if (reason == DLL_PROCESS_DETACH) kovrad::DescarregaBiblioteca();
  return TRUE;
}
