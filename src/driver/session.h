// The state of one run of the program: the console, the error stream, and
// every value that the modes keep from one file to the next (what the RWX
// conversion carries over). One record, passed by reference, so that one
// process can run many conversions side by side.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "anim/seq_export.h"
#include "convert/conversion.h"
#include "io/out_stream.h"
#include "joints/joint_names.h"

namespace facetor {

struct Session {
  OutStream& console;  // every message, prompt and listing
  OutStream& errors;   // standard error: why the command line failed
  std::istream& input; // typed answers
  CarriedState carried;
};

// Runs the program with its command-line parameters (without the program
// name) and returns the exit code.
int run_facetor(Session& session, const std::vector<std::string>& parameters);

}  // namespace facetor
