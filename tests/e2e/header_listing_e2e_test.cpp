// Mode H on the sample files from the field.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "e2e/e2e_support.h"

namespace facetor::test {
namespace {

const std::string kSamples = FACETOR_SAMPLES_DIR;

ProcessResult list_headers(const std::string& sample) {
  ProcessOptions options;
  options.stdinText = kSamples + "/" + sample + "\nh\nq\n";
  return run_facetor_exe({}, options);
}

// The listing lines between the mode prompt and the next name prompt.
std::string listing_of(const ProcessResult& result) {
  const std::string head = kBanner + kNamePrompt + kModePrompt;
  EXPECT_EQ(result.out.rfind(head, 0), 0u);
  EXPECT_GE(result.out.size(), head.size() + kNamePrompt.size());
  EXPECT_EQ(result.out.substr(result.out.size() - kNamePrompt.size()), kNamePrompt);
  return result.out.substr(head.size(), result.out.size() - head.size() - kNamePrompt.size());
}

TEST(HeaderListingE2e, BinarySamplesListTheirChunkTypes) {
  if (!std::filesystem::is_directory(kSamples)) GTEST_SKIP() << "sample folder " << kSamples << " is absent";
  for (const char* sample : {"molecule.cob", "spider_6_6.cob"}) {
    const ProcessResult result = list_headers(sample);
    EXPECT_EQ(result.exitCode, 0) << sample;
    const std::string listing = listing_of(result);
    std::istringstream lines(listing);
    std::string line;
    int entries = 0;
    bool sawPolH = false;
    bool sawEnd = false;
    const std::regex entry("  [^\\n]{1,4} : [1-9][0-9]*");
    while (std::getline(lines, line)) {
      EXPECT_TRUE(std::regex_match(line, entry)) << sample << ": " << line;
      sawPolH = sawPolH || line.rfind("  PolH : ", 0) == 0;
      sawEnd = sawEnd || line == "  END  : 1";
      ++entries;
    }
    EXPECT_GE(entries, 3) << sample << "\n" << listing;
    EXPECT_TRUE(sawPolH) << sample << "\n" << listing;
    EXPECT_TRUE(sawEnd) << sample << "\n" << listing;
  }
}

TEST(HeaderListingE2e, AsciiSampleGetsTheBinaryOnlyMessage) {
  if (!std::filesystem::is_directory(kSamples)) GTEST_SKIP() << "sample folder " << kSamples << " is absent";
  const ProcessResult result = list_headers("molecule_ascii.cob");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, kBanner + kNamePrompt + kModePrompt + "This program only supports Binary format COB files" +
                            kNamePrompt);
}

}  // namespace
}  // namespace facetor::test
