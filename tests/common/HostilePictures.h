// Pictures that hold a decoder up, and the decoders the program runs for them.
#pragma once

// libjpeg's header needs FILE and size_t declared first.
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <dirent.h>
#include <sys/types.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace ambrel {

// Small on disk and slow to decode: an 8192x8192 progressive JPEG of one grey
// whose last refinement scan is repeated 1000 times (under 500 KB). Decoders that
// draw the picture again after every scan (GdkPixbuf's loader inside one write,
// NSBitmapImageRep on GNUstep) take a minute or more over it.
inline bool WriteSlowProgressiveJpeg(const std::string& path) {
  const unsigned side = 8192;
  jpeg_compress_struct compress{};
  jpeg_error_mgr errors{};
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compress, &memory, &size);
  compress.image_width = compress.image_height = side;
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_simple_progression(&compress);
  jpeg_start_compress(&compress, TRUE);
  std::vector<unsigned char> row(side * 3, 128);
  JSAMPROW rows[1] = {row.data()};
  while (compress.next_scanline < compress.image_height) jpeg_write_scanlines(&compress, rows, 1);
  jpeg_finish_compress(&compress);
  jpeg_destroy_compress(&compress);
  const std::string plain(reinterpret_cast<char*>(memory), size);
  std::free(memory);
  // In the entropy-coded data 0xFF is followed by 0 or a restart marker, so the last
  // 0xFF 0xDA is the last scan's header; 0xFF 0xD9 ends the file.
  const size_t last = plain.rfind("\xff\xda");
  if (last == std::string::npos || plain.size() < last + 2) return false;
  std::string slow = plain.substr(0, plain.size() - 2);
  const std::string scan = plain.substr(last, plain.size() - 2 - last);
  for (int copy = 0; copy < 1000; ++copy) slow += scan;
  std::ofstream out(path, std::ios::binary);
  out << slow << "\xff\xd9";
  return bool(out);
}


// The decoders of a picture that the process runs now (the program run again in
// its hidden decoding mode).
inline std::set<pid_t> PictureDecodersOf(pid_t parent, const std::string& picture) {
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  std::set<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2 || ppid != parent) continue;
    const std::string command = slurp("/proc/" + std::to_string(pid) + "/cmdline");
    if (command.find(std::string("--ambrel-decode-picture") + '\0' + picture + '\0') != std::string::npos)
      found.insert(pid);
  }
  closedir(proc);
  return found;
}

}  // namespace ambrel
