#include "platform/linux/user_folders.h"

#include <glib.h>
#include <sys/stat.h>

namespace quendra::desktop {

std::string UserPicturesFolder() {
  struct stat st {};
  const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  if (pictures && ::stat(pictures, &st) == 0 && S_ISDIR(st.st_mode)) return pictures;
  return g_get_home_dir();
}

}  // namespace quendra::desktop
