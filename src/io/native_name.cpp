#ifdef _WIN32
#include "io/native_name.h"

#include <windows.h>

namespace facetor {

std::wstring native_name(const std::string& name) {
  if (name.empty()) return {};
  const int length = static_cast<int>(name.size());
  UINT codePage = CP_UTF8;
  int size = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
  if (size == 0) {
    codePage = CP_ACP;
    size = ::MultiByteToWideChar(codePage, 0, name.data(), length, nullptr, 0);
  }
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(codePage, 0, name.data(), length, wide.data(), size);
  return wide;
}

std::string utf8_from_native(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

}  // namespace facetor
#endif
