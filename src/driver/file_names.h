// The input and output file names of one file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace facetor {

// The name as given (command line) or typed, whole up to its first NUL;
// ".cob" is appended where its last path component (after the last '/' or
// '\\') holds no '.'.
std::string input_name_from(std::string_view given);

// The input name with the text from the last '.' of its last path component
// on replaced by the extension (".rwx", ".seq", ".txt"); where that component
// has no '.', the extension is appended. The output thus always stands in the
// input's own folder.
std::string output_name_for(std::string_view inputName, std::string_view extension);

}  // namespace facetor
