// The pieces of Microsoft's C++ runtime that the vendor's static WebView2 loader needs (see
// msvc_runtime_win.cpp). Declared here for the tests; the loader finds them by their MSVC names.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
extern uintptr_t __security_cookie;
void __security_check_cookie(uintptr_t cookie);
extern void (*const __guard_dispatch_icall_fptr)();
extern int _Init_thread_epoch;  // the TLS template's copy; threads read their own
void _Init_thread_header(int* guard) noexcept;
void _Init_thread_footer(int* guard) noexcept;
}

// The calling thread's own _Init_thread_epoch, found as the loader's code finds it.
int& ThreadInitEpoch();
