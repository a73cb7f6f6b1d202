// Lines typed at the prompts: whole lines of any length.
#pragma once

#include <istream>
#include <string>

namespace facetor {

// Reads one line without its line end ("\n" or "\r\n"; a last line without
// a line end counts too) and cuts it at its first NUL byte, as a C string
// ends there. Returns false at end of input when no character was left.
bool read_typed_line(std::istream& input, std::string& line);

}  // namespace facetor
