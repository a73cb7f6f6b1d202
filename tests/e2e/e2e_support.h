// Shared pieces of the end-to-end tests: the fixed console texts and a small
// COB file.
#pragma once

#include <string>
#include <vector>

#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor::test {

inline const std::string kBanner =
    "Facetor build 6.0.601 - COB model converter\n"
    "You may optionally specify command line parameters FILENAME and OUTPUTMODE\n\n";
inline const std::string kNamePrompt = "Enter COB filename (Q to exit): ";
inline const std::string kModePrompt = "Output (to file): Rwx, Animation; (to screen): Headers, Imagelist, Debug ? : ";

// Chunks PolH, Mat1, PolH, END: mode H lists "  PolH : 2", "  Mat1 : 1", "  END  : 1".
inline std::vector<std::uint8_t> small_cob() {
  CobFile file;
  file.chunk("PolH", 1, 0, Data{}).chunk("Mat1", 2, 1, Data{}).chunk("PolH", 3, 0, Data{}).end(4);
  return file.bytes;
}
inline const std::string kSmallListing = "  PolH : 2\n  Mat1 : 1\n  END  : 1\n";

}  // namespace facetor::test
