// What compiled C++ needs from a run-time library, for the program and the modules we ship, so
// that none of them links the C++ library: allocation on the process heap and the pure call trap.
// The tests link the C++ library instead and never this file.
#include <windows.h>

#include <new>

// The tag object that `new (std::nothrow)` passes; the C++ library would define it.
const std::nothrow_t std::nothrow{};

// Only the non-throwing forms allocate: the code is built without exceptions, so every
// allocation says `new (std::nothrow)` and checks for null. A plain `new` finds no definition
// here and pulls the C++ library in, which the module table test refuses.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void operator delete(void* block) noexcept {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void* block) noexcept {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete(void* block, size_t) noexcept {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void* block, size_t) noexcept {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

// A pure virtual method called through a half-built or half-destroyed object: nothing sound
// can follow, so the process ends at once with abort's exit code, as the C++ library's own
// handler would end it (without a box: a silent install must not wait on one).
extern "C" void __cxa_pure_virtual() {
  OutputDebugStringA("pure virtual method called\n");
  TerminateProcess(GetCurrentProcess(), 3);
}
