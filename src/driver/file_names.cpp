#include "driver/file_names.h"

#include "io/text.h"

namespace facetor {
namespace {

// Where the last path component starts: after the last '/' or '\\'.
std::size_t last_component(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  return slash == std::string_view::npos ? 0 : slash + 1;
}

// The last '.' of the last path component, or npos.
std::size_t extension_dot(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot < last_component(name) ? std::string_view::npos : dot;
}

}  // namespace

std::string input_name_from(std::string_view given) {
  std::string name(cut_at_nul(given));
  if (extension_dot(name) == std::string::npos) name += ".cob";
  return name;
}

std::string output_name_for(std::string_view inputName, std::string_view extension) {
  std::string name(inputName);
  const std::size_t dot = extension_dot(name);
  if (dot != std::string::npos) name.resize(dot);
  name += extension;
  return name;
}

}  // namespace facetor
