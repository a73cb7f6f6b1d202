// File names as the system takes them. Names travel through the program as
// UTF-8 bytes; Windows opens files by UTF-16 names, so that a name outside
// the ANSI code page (модель.cob, 模型.cob) opens whatever that code page is.
#pragma once

#ifdef _WIN32
#include <string>

namespace facetor {

// The UTF-16 form of a name: read as UTF-8, or where it is no valid UTF-8
// (a name typed in the ANSI code page), in the ANSI code page.
std::wstring native_name(const std::string& name);

// A UTF-16 text (a command-line argument) as UTF-8.
std::string utf8_from_native(const wchar_t* text);

}  // namespace facetor
#endif
