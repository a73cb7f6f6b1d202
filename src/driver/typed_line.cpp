#include "driver/typed_line.h"

#include "io/text.h"

namespace facetor {

bool read_typed_line(std::istream& input, std::string& line) {
  line.clear();
  // A stream catches what its extraction throws and only sets badbit; with
  // badbit in the exception mask it throws it again as it was, so a failed
  // allocation of the growing line reaches the driver's handler instead of
  // passing for the end of the input.
  input.exceptions(input.exceptions() | std::ios::badbit);
  if (!std::getline(input, line)) return false;
  // A line that ended with "\n" (not at end of input) may carry the "\r" of "\r\n".
  const bool endedByLineFeed = !input.eof();
  if (endedByLineFeed && !line.empty() && line.back() == '\r') line.pop_back();
  line.resize(cut_at_nul(line).size());
  return true;
}

}  // namespace facetor
