// Move-only owners for registry keys, kernel handles and loaded modules: each closes what it
// holds on every way out, and a failed open leaves it unchanged.
#pragma once

#include <windows.h>

class ScopedRegKey {
 public:
  ScopedRegKey() : m_key(nullptr) {}
  explicit ScopedRegKey(HKEY key) : m_key(key) {}
  ~ScopedRegKey() { Close(); }
  ScopedRegKey(ScopedRegKey&& other) : m_key(other.Release()) {}
  ScopedRegKey& operator=(ScopedRegKey&& other) {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  // Each returns the Windows error; on failure the key held before stays held.
  LONG Open(HKEY root, const char* path, REGSAM access) {
    HKEY key = nullptr;
    LONG error = RegOpenKeyExA(root, path, 0, access, &key);
    if (error == ERROR_SUCCESS) Reset(key);
    return error;
  }
  LONG Create(HKEY root, const char* path, REGSAM access) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
    if (error == ERROR_SUCCESS) Reset(key);
    return error;
  }

  // The one way values are read and written on an open key; each returns the Windows error.
  // ReadText reads a REG_SZ or REG_EXPAND_SZ value into size bytes, never past the value's real
  // size, and always ends it: the text stops at the first terminator within the stored size, and
  // a text that fills the buffer without one does not fit (ERROR_MORE_DATA). Any other type is
  // ERROR_INVALID_DATATYPE, unless anyType asks for the stored bytes read as a text whatever
  // their type. On failure out holds the empty text.
  enum class ValueTypes { kTextOnly, kAny };
  LONG ReadText(const char* name, char* out, DWORD size, DWORD* type = nullptr,
                ValueTypes accepted = ValueTypes::kTextOnly) const;
  LONG SetDword(const char* name, DWORD value) const;
  LONG SetText(const char* name, const char* text) const;  // REG_SZ, its terminator counted

  HKEY Get() const { return m_key; }
  bool IsValid() const { return m_key != nullptr; }
  // Out-parameter for APIs that open a key themselves; closes what is held first.
  HKEY* Receive() {
    Close();
    return &m_key;
  }
  HKEY Release() {
    HKEY key = m_key;
    m_key = nullptr;
    return key;
  }
  void Reset(HKEY key) {
    Close();
    m_key = key;
  }
  void Close() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
  }

 private:
  HKEY m_key;
};

class ScopedHandle {
 public:
  ScopedHandle() : m_handle(nullptr) {}
  explicit ScopedHandle(HANDLE handle) : m_handle(Normalize(handle)) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(ScopedHandle&& other) : m_handle(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE Get() const { return m_handle; }
  bool IsValid() const { return m_handle != nullptr; }
  HANDLE Release() {
    HANDLE handle = m_handle;
    m_handle = nullptr;
    return handle;
  }
  void Reset(HANDLE handle) {
    Close();
    m_handle = Normalize(handle);
  }
  void Close() {
    if (m_handle) CloseHandle(m_handle);
    m_handle = nullptr;
  }

 private:
  // Both null and INVALID_HANDLE_VALUE mean "nothing held".
  static HANDLE Normalize(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
  HANDLE m_handle;
};

// Holds a module from base/module_loader.h, the one place where the program loads modules.
class ScopedModule {
 public:
  ScopedModule() : m_module(nullptr) {}
  explicit ScopedModule(HMODULE module) : m_module(module) {}
  ~ScopedModule() { Free(); }
  ScopedModule(ScopedModule&& other) : m_module(other.Release()) {}
  ScopedModule& operator=(ScopedModule&& other) {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedModule(const ScopedModule&) = delete;
  ScopedModule& operator=(const ScopedModule&) = delete;

  HMODULE Get() const { return m_module; }
  bool IsValid() const { return m_module != nullptr; }
  template <typename Proc>
  Proc Find(const char* name) const {
    return m_module ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(m_module, name))) : nullptr;
  }
  HMODULE Release() {
    HMODULE module = m_module;
    m_module = nullptr;
    return module;
  }
  void Reset(HMODULE module) {
    Free();
    m_module = module;
  }
  void Free() {
    if (m_module) FreeLibrary(m_module);
    m_module = nullptr;
  }

 private:
  HMODULE m_module;
};

// Releases a COM-style reference on every way out.
template <typename T>
class ScopedComPtr {
 public:
  ScopedComPtr() : m_ptr(nullptr) {}
  explicit ScopedComPtr(T* ptr) : m_ptr(ptr) {}  // adopts a reference
  ~ScopedComPtr() { Reset(); }
  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;

  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  T** Receive() {
    Reset();
    return &m_ptr;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  void Reset() {
    if (m_ptr) m_ptr->Release();
    m_ptr = nullptr;
  }
  T* Detach() {
    T* ptr = m_ptr;
    m_ptr = nullptr;
    return ptr;
  }

 private:
  T* m_ptr;
};
