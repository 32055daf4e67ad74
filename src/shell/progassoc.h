#pragma once
// The desktop's file associations, as far as handing a picture to an editor needs them.
#include <string>

namespace quendra {

class ProgramAssociations {
 public:
  virtual ~ProgramAssociations() = default;
  // Full path of the executable of the default application for files with `extension`
  // (such as ".bmp"); empty when there is none or the query fails.
  virtual std::string GetAssociatedExecutable(const std::string& extension) = 0;
};

}  // namespace quendra
