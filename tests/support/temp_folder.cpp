#include "temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace vrnskdm::testing {

namespace fs = std::filesystem;

temp_folder::temp_folder() {
  std::string pattern = (fs::temp_directory_path() / "vrnskdm-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

temp_folder::~temp_folder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace vrnskdm::testing
