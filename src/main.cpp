#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h: the shell's argument splitter.
#include <shellapi.h>

#include "io/native_name.h"
#endif

#include "driver/session.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // Bytes as they are on every standard stream: no CR LF translation, and a
  // 0x1A byte typed or piped in does not end the input.
  ::_setmode(::_fileno(stdin), _O_BINARY);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
  facetor::OutStream console = facetor::out_on_file(stdout, facetor::StreamMode::Binary);
  facetor::OutStream errors = facetor::out_on_file(stderr, facetor::StreamMode::Binary);
  facetor::Session session{console, errors, std::cin, {}};
  std::vector<std::string> parameters(argv + (argc > 0 ? 1 : 0), argv + argc);
#ifdef _WIN32
  // The arguments as typed, in UTF-8, whatever the ANSI code page.
  int count = 0;
  if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    parameters.clear();
    for (int i = 1; i < count; ++i) parameters.push_back(facetor::utf8_from_native(wide[i]));
    ::LocalFree(wide);
  }
#endif
  const int code = facetor::run_facetor(session, parameters);
  facetor::out_flush(console);
  facetor::out_flush(errors);
  return code;
}
