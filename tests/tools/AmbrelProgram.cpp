#include "AmbrelProgram.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return bool(out);
}

PngImage ReadPng(const std::string& path) {
  PngImage image;
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&header, path.c_str())) return image;
  header.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(header));
  if (!png_image_finish_read(&header, nullptr, image.rgb.data(), 0, nullptr)) return image;
  image.ok = true;
  image.width = header.width;
  image.height = header.height;
  return image;
}

bool WriteStripedPng(const std::string& path, unsigned width, unsigned height, uint32_t rgb) {
  std::vector<uint8_t> pixels((size_t)width * height * 3);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      const int shift = (x / 16) % 2 ? 1 : 0;  // the darker stripes show the bending
      uint8_t* p = &pixels[((size_t)y * width + x) * 3];
      p[0] = (uint8_t)(((rgb >> 16) & 0xff) >> shift);
      p[1] = (uint8_t)(((rgb >> 8) & 0xff) >> shift);
      p[2] = (uint8_t)((rgb & 0xff) >> shift);
    }
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  header.width = width;
  header.height = height;
  header.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&header, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

double ShareDominatedBy(const PngImage& image, int channel) {
  size_t count = image.rgb.size() / 3, dominated = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = &image.rgb[i * 3];
    bool wins = true;
    for (int other = 0; other < 3; ++other)
      if (other != channel && p[channel] < p[other] + 40) wins = false;
    dominated += wins;
  }
  return count ? double(dominated) / count : 0;
}

void AmbrelProgramTest::SetUp() {
  for (const std::string* folder : {&dir, &logDir, &config}) ASSERT_FALSE(folder->empty());
}

void AmbrelProgramTest::TearDown() {}

Outcome AmbrelProgramTest::Ambrel(std::vector<std::string> args, const std::vector<std::string>& env,
                                  long fileSizeLimit, int runAs) {
  std::string outPath = logDir + "/out", errPath = logDir + "/err";
  pid_t child = fork();
  if (child == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    if (chdir(dir.c_str()) != 0) _exit(126);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("HOME", config.c_str(), 1);
    for (const std::string& entry : env) {
      const size_t equals = entry.find('=');
      if (equals == std::string::npos)
        unsetenv(entry.c_str());
      else
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    if (fileSizeLimit > 0) {
      struct rlimit limit = {(rlim_t)fileSizeLimit, (rlim_t)fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (runAs >= 0 && (setgroups(0, nullptr) != 0 || setgid(gid_t(runAs)) != 0 || setuid(uid_t(runAs)) != 0))
      _exit(126);
    std::vector<char*> argv;
    std::string program = AMBREL_PROGRAM;
    argv.push_back(program.data());
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  Outcome run;
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

std::set<std::string> AmbrelProgramTest::Files() {
  std::set<std::string> names;
  DIR* listing = opendir(dir.c_str());
  if (!listing) return names;
  while (dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  closedir(listing);
  return names;
}

void AmbrelProgramTest::ExpectRefused(const std::vector<std::string>& args, const std::string& mention,
                                      int status) {
  Outcome run = Ambrel(args);
  EXPECT_EQ(run.status, status) << run.err;
  EXPECT_NE(run.err.find(mention), std::string::npos) << "stderr: " << run.err;
  EXPECT_TRUE(Files().empty()) << "left a file behind";
}
