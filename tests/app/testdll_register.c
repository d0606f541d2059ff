/* A COM-server-like DLL for the registration tests. Built three ways:
   QELVARO_TESTDLL_OK    DllRegisterServer writes the marker file named by QELVARO_TEST_MARKER
   QELVARO_TESTDLL_HANG  DllRegisterServer never returns
   (neither)             no DllRegisterServer at all */
#include <windows.h>

#if defined(QELVARO_TESTDLL_OK)
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  wchar_t path[MAX_PATH];
  if (GetEnvironmentVariableW(L"QELVARO_TEST_MARKER", path, MAX_PATH) == 0) return E_FAIL;
  HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return E_FAIL;
  DWORD written = 0;
  WriteFile(h, "registered", 10, &written, NULL);
  CloseHandle(h);
  return S_OK;
}
#elif defined(QELVARO_TESTDLL_HANG)
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  for (;;) Sleep(1000);
}
#else
__declspec(dllexport) int WINAPI SomethingElse(void) { return 1; }
#endif
