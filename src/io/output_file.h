// Opening an output file so that it is replaced only when complete: the
// file-system side of the output stream's file sink.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace facetor {

// An open output file: the file written, and the name it takes when
// complete (empty when the named file itself is written).
struct OutputFile {
  std::FILE* file = nullptr;
  std::string temporary;  // the file written, when it is a temporary file
  std::string target;     // the name the temporary file takes when complete
  bool replacing = false;  // the target exists: the temporary file replaces it
  std::size_t unsent = 0;  // bytes written since the data was last started out
};

// Opens path for writing and update in binary mode ("w+b"). A regular file
// or an absent name gets a temporary file in the same folder (for a symbolic
// link: beside the file it points at); a name that is not a regular file, a
// dangling link, a file that may not be written, or a folder where no file
// can be made is opened directly.
// Returns false, errno set, when nothing could be opened.
bool output_file_open(OutputFile& output, const std::string& path);

// Counts bytes written to the file. A file that replaces an existing one has
// its data started on the way to the device every few megabytes: renamed
// over an existing file, a file's data is written out in the rename by file
// systems that keep a crash from leaving the name empty (ext4 by default),
// and writing out what a conversion has made while it makes the rest costs
// less than all of it at the end. A file that replaces nothing is left to
// the system's own write-back.
void output_file_wrote(OutputFile& output, std::size_t bytes);

// Closes the file. When complete, a temporary file takes the target's name
// (replacing it); otherwise it is removed. Returns false when the close or
// the rename failed (the temporary file is then removed too).
bool output_file_finish(OutputFile& output, bool complete);

}  // namespace facetor
