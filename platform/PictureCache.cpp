#include "platform/PictureCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <set>
#include <utility>

namespace ambrel {

namespace {

struct Remembered {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{};
  bool decoded = false;
  PictureBitmap bitmap;
  std::string why;

  bool Same(const Remembered& other) const {
    return path == other.path && device == other.device && inode == other.inode && size == other.size &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

// A few pictures at most: one per monitor is the most a run shows at once. The
// pixels stay while remembered, so few of them are, and only until a view takes
// them.
constexpr size_t kRememberedPictures = 4, kRememberedRefusals = 64;
std::deque<Remembered> pictures, refusals;

std::set<std::pair<std::string, std::string>> named;

}  // namespace

bool ReadPictureOnce(const char* path, PictureBitmap* bitmap, std::string* why, PictureDecoder decode) {
  std::string ignored;
  if (!why) why = &ignored;
  why->clear();
  if (!path || !bitmap) {
    *why = "is not named";
    return false;
  }
  Remembered key;
  key.path = path;
  struct stat info {};
  const bool known = stat(path, &info) == 0 && S_ISREG(info.st_mode);
  if (known) {
    key.device = info.st_dev;
    key.inode = info.st_ino;
    key.size = info.st_size;
    key.changed = info.st_ctim;
    for (const Remembered& entry : pictures)
      if (entry.Same(key)) {
        *bitmap = entry.bitmap;
        return true;
      }
    for (const Remembered& entry : refusals)
      if (entry.Same(key)) {
        *why = entry.why;
        return false;
      }
  }
  const DecodeOutcome outcome = decode(path, bitmap, why);
  if (!known || outcome == DecodeOutcome::kAbandoned) return outcome == DecodeOutcome::kDecoded;
  const bool decoded = outcome == DecodeOutcome::kDecoded;
  std::deque<Remembered>& into = decoded ? pictures : refusals;
  key.decoded = decoded;
  if (decoded) key.bitmap = *bitmap;
  else key.why = *why;
  into.push_front(std::move(key));
  if (into.size() > (decoded ? kRememberedPictures : kRememberedRefusals)) into.pop_back();
  return decoded;
}

void ForgetPicture(const char* path) {
  if (!path) return;
  pictures.erase(std::remove_if(pictures.begin(), pictures.end(),
                                [&](const Remembered& entry) { return entry.path == path; }),
                 pictures.end());
}

void NameWrongPicture(const std::string& path, const std::string& why) {
  if (why.empty() || !named.insert({path, why}).second) return;
  std::fprintf(stderr, "ambrel: cannot show the picture \"%s\": it %s\n", path.c_str(), why.c_str());
}

}  // namespace ambrel
