// Reading and writing the values of an open registry key: one bounded text read, typed writes.
#include "base/scoped.h"

#include <string.h>

LONG ScopedRegKey::ReadText(const char* name, char* out, DWORD size, DWORD* type, ValueTypes accepted) const {
  if (!out || size == 0) return ERROR_INVALID_PARAMETER;
  DWORD valueType = REG_NONE;
  DWORD stored = size;
  LONG error = RegQueryValueExA(m_key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(out), &stored);
  if (error == ERROR_SUCCESS && accepted == ValueTypes::kTextOnly && valueType != REG_SZ && valueType != REG_EXPAND_SZ)
    error = ERROR_INVALID_DATATYPE;
  // A text may be stored with or without its terminator: it ends at the first one it holds.
  if (error == ERROR_SUCCESS && !memchr(out, '\0', stored)) {
    if (stored < size)
      out[stored] = '\0';
    else
      error = ERROR_MORE_DATA;
  }
  if (error != ERROR_SUCCESS) {
    out[0] = '\0';
    return error;
  }
  if (type) *type = valueType;
  return ERROR_SUCCESS;
}

LONG ScopedRegKey::SetDword(const char* name, DWORD value) const {
  return RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG ScopedRegKey::SetText(const char* name, const char* text) const {
  if (!text) text = "";
  return RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(strlen(text) + 1));
}
