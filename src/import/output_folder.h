// The folder an import writes into, claimed for the import's whole run:
// created when missing, locked against other imports into it, and checked
// for record files that the new control file would not describe.
#pragma once

#include <string>
#include <vector>

#include "common/file_io.h"
#include "import/plan.h"

namespace i2m {

class OutputFolder {
 public:
  // Creates `dir` when missing and locks it (flock on the folder itself),
  // waiting while another import holds it. Temporary files that a killed
  // import left there are removed. A .bin file there that the
  // plan's control file would not describe (another grid or level list: a
  // control file of other grid or levels beside it, or a size other than
  // the plan's record files have) ends the run with exit status 2 naming
  // it; with `replace`, those files and the control and date files are
  // removed first.
  static OutputFolder claim(const ImportPlan& plan, const std::string& dir, bool replace);

  // The record files `replace` removed, by name.
  const std::vector<std::string>& cleared() const { return cleared_; }
  // The temporary files of killed imports removed, by name.
  const std::vector<std::string>& leftovers() const { return leftovers_; }

 private:
  explicit OutputFolder(int lock_fd) : lock_(lock_fd) {}
  UniqueFd lock_;  // held until the import ends
  std::vector<std::string> cleared_;
  std::vector<std::string> leftovers_;
};

}  // namespace i2m
