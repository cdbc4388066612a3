#pragma once

// Reaching a file one name at a time from folders held open, under the rule for
// symbolic links.

#include <sys/stat.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "journal.h"

namespace vrnskdm::platform {

// What an operation does with the last name of a path, given the folder that
// name is in (a descriptor) and the name itself: a result of 0 or more, or -1
// with errno set. It must not follow a link there but report ELOOP, which makes
// the walk follow that link when it may and then call the step again.
using last_step = std::function<int(int folder, const std::string& name)>;

// Whether a path can be walked at all: a name with a NUL in it would be cut
// short by the system and name another file.
bool usable_path(const std::string& path);

// A look at the name in the folder, as a step may take it: 0 with info filled
// in, or -1 with errno; ELOOP for a link, which the walk follows when it may.
int look_at(int folder, const std::string& name, struct stat& info);

// Paths are walked by the process itself, never by the kernel: each folder on
// the way is opened from the one before, without following a link, so that the
// folder whose link was checked is the one the next name is looked up in, and
// no name is looked up twice. Paths under the working folder start from its
// descriptor, others (and links that point to an absolute name) from the root's.
//
// A link is followed when this user, the owner of its folder or root made it,
// or when only the folder's owner may write in that folder: anyone who may
// write in a shared folder could otherwise point the watchdog's writes at any
// file it may write. The links in the folders on the way count as much as the
// last one. A link refused is told of once, as a warning, until a walk of the
// same path passes again.
class link_walk {
 public:
  // working_folder: a descriptor of the working folder, which the caller keeps
  // open for as long as this object lives. Without one (below 0), relative
  // paths start from the working directory of the moment, and every absolute
  // one from the root.
  link_walk(journal* warnings, int working_folder);
  ~link_walk();
  link_walk(const link_walk&) = delete;
  link_walk& operator=(const link_walk&) = delete;

  struct walked {
    int result = -1;       // the last step's, or -1 when the walk stopped before it
    int error = 0;         // errno of a result of -1
    bool stopped = false;  // at a link not followed: refused, unreadable or one of too many
    // The name the last step was given, from the folder it is in; the path as
    // far as it went when a folder on the way was missing; else empty.
    std::string path;
  };

  walked walk(const std::string& path, const last_step& step);

 private:
  struct place;
  // The folder a path starts from, with the path's names pushed onto names.
  place start(const std::string& path, std::vector<std::string>& names) const;
  // Moves on to the folder the last of names is in, in one call, when no link
  // and nothing missing is on the way there: the names one at a time would
  // take two calls each. False, having changed nothing, otherwise, or where
  // the kernel has no such call.
  bool through_folders(place& at, std::vector<std::string>& names) const;
  // Moves on through the link named name in the folder at stands at, when it
  // may be followed: its target's names go onto names. False when it is not
  // followed, with a warning when the rule refused it.
  bool follow(int link, const std::string& name, const std::string& asked, place& at,
              std::vector<std::string>& names);

  int working_ = -1;
  std::string working_name_;
  int root_ = -1;
  journal* warnings_;
  // Flushes may come from another thread than the one the ticks run on.
  std::mutex refused_guard_;
  std::set<std::string> refused_;
};

}  // namespace vrnskdm::platform
