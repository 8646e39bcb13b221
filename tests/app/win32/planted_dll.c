/* A DLL planted beside the program under a system DLL's name: when loaded, it leaves a marker
   file beside itself, named after itself ("uxtheme.dll" leaves "uxtheme.dll.loaded"). */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    static const wchar_t suffix[] = L".loaded";
    wchar_t path[MAX_PATH + sizeof(suffix) / sizeof(suffix[0])];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcpyW(path + length, suffix);
      HANDLE marker =
          CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
      if (marker != INVALID_HANDLE_VALUE) {
        CloseHandle(marker);
      }
    }
  }
  return TRUE;
}
