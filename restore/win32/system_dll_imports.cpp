// setup.exe runs elevated from the package's unpack folder. The grid draws with
// uxtheme.dll and msimg32.dll, which are not KnownDLLs: imported the usual way, the
// loader would look for them in that folder before System32, where a planted copy
// would run with administrator rights. Their import slots are defined here instead,
// pointing at forwarders that load the real DLL from System32 at first use, so the
// program has no static import of either. (binutils' delay-import libraries for
// i686 call address 0, which is why this is done by hand.)
#include <windows.h>
#include <uxtheme.h>

#include "base/win32/system_dll.h"

namespace {

template <typename Fn>
Fn resolve(const wchar_t* dll, const char* name) {
  static_assert(sizeof(Fn) == sizeof(void*));
  HMODULE module = GetModuleHandleW(dll);
  if (!module) module = qelvaro::base::LoadSystemDll(dll);
  return qelvaro::base::DllEntry<Fn>(module, name);
}

// Each forwarder finds its function once; without the DLL it answers as an
// unthemed system without gradients would.
BOOL WINAPI gradientFill(HDC dc, PTRIVERTEX v, ULONG nv, PVOID mesh, ULONG nm, ULONG mode) {
  static const auto fn = resolve<decltype(&GradientFill)>(L"msimg32.dll", "GradientFill");
  return fn ? fn(dc, v, nv, mesh, nm, mode) : FALSE;
}
BOOL WINAPI alphaBlend(HDC dc, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh, BLENDFUNCTION f) {
  static const auto fn = resolve<decltype(&AlphaBlend)>(L"msimg32.dll", "AlphaBlend");
  return fn ? fn(dc, x, y, w, h, src, sx, sy, sw, sh, f) : FALSE;
}
BOOL WINAPI isAppThemed() {
  static const auto fn = resolve<decltype(&IsAppThemed)>(L"uxtheme.dll", "IsAppThemed");
  return fn ? fn() : FALSE;
}
HTHEME WINAPI openThemeData(HWND hwnd, LPCWSTR classes) {
  static const auto fn = resolve<decltype(&OpenThemeData)>(L"uxtheme.dll", "OpenThemeData");
  return fn ? fn(hwnd, classes) : nullptr;
}
HRESULT WINAPI closeThemeData(HTHEME theme) {
  static const auto fn = resolve<decltype(&CloseThemeData)>(L"uxtheme.dll", "CloseThemeData");
  return fn ? fn(theme) : E_FAIL;
}
HRESULT WINAPI drawThemeBackground(HTHEME theme, HDC dc, int part, int state, LPCRECT rc, LPCRECT clip) {
  static const auto fn = resolve<decltype(&DrawThemeBackground)>(L"uxtheme.dll", "DrawThemeBackground");
  return fn ? fn(theme, dc, part, state, rc, clip) : E_FAIL;
}
HRESULT WINAPI getCurrentThemeName(LPWSTR file, int fileMax, LPWSTR colour, int colourMax, LPWSTR size, int sizeMax) {
  static const auto fn = resolve<decltype(&GetCurrentThemeName)>(L"uxtheme.dll", "GetCurrentThemeName");
  return fn ? fn(file, fileMax, colour, colourMax, size, sizeMax) : E_FAIL;
}

}  // namespace

// The import slots the grid's code calls through (i686 names: "__imp__" + the
// stdcall-decorated name).
extern "C" {
decltype(&GradientFill) qv_imp_GradientFill asm("__imp__GradientFill@24") = gradientFill;
decltype(&AlphaBlend) qv_imp_AlphaBlend asm("__imp__AlphaBlend@44") = alphaBlend;
decltype(&IsAppThemed) qv_imp_IsAppThemed asm("__imp__IsAppThemed@0") = isAppThemed;
decltype(&OpenThemeData) qv_imp_OpenThemeData asm("__imp__OpenThemeData@8") = openThemeData;
decltype(&CloseThemeData) qv_imp_CloseThemeData asm("__imp__CloseThemeData@4") = closeThemeData;
decltype(&DrawThemeBackground) qv_imp_DrawThemeBackground asm("__imp__DrawThemeBackground@24") = drawThemeBackground;
decltype(&GetCurrentThemeName) qv_imp_GetCurrentThemeName asm("__imp__GetCurrentThemeName@24") = getCurrentThemeName;
}
