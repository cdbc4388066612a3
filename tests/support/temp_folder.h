#pragma once

#include <string>

namespace vrnskdm::testing {

// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes. Unlike scratch_dir it leaves the working directory
// alone, so helpers can keep their sockets and files apart from the test's own.
class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace vrnskdm::testing
