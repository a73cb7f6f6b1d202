#include "driver/file_names.h"

#include "io/text.h"

namespace facetor {

std::string input_name_from(std::string_view given) {
  given = cut_at_nul(given);
  std::string name(given.substr(0, kMaxNameLength));
  if (name.find('.') == std::string::npos) name += ".cob";
  return name;
}

std::string output_name_for(std::string_view inputName, std::string_view extension) {
  std::string name(inputName.substr(0, kMaxNameLength));
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  name += extension;
  return name;
}

}  // namespace facetor
