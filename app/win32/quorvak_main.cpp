#include <windows.h>

#include "ms_startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return qelvaro::Main(instance); }
