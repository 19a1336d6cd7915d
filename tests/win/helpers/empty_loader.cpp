// A library named like the loader that exports neither loader function.
#include <windows.h>

extern "C" __declspec(dllexport) int UnrelatedExport() { return 0; }
