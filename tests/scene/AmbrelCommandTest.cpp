// Runs the real ambrel program and checks what it leaves on disk.
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifdef AMBREL_PROGRAM

namespace {

struct Outcome {
  int status = -1;  // exit code, or -1 when killed by a signal
  std::string out, err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AmbrelCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char work[] = "/tmp/ambrel-cmd-XXXXXX";
    char logs[] = "/tmp/ambrel-log-XXXXXX";
    ASSERT_NE(mkdtemp(work), nullptr);
    ASSERT_NE(mkdtemp(logs), nullptr);
    dir = work;
    logDir = logs;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir + "' '" + logDir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }

  // fileSizeLimit > 0 makes every write beyond that many bytes fail, as on a full disk.
  Outcome Ambrel(std::vector<std::string> args, long fileSizeLimit = 0) {
    std::string outPath = logDir + "/out", errPath = logDir + "/err";
    pid_t child = fork();
    if (child == 0) {
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      if (chdir(dir.c_str()) != 0) _exit(126);
      if (fileSizeLimit > 0) {
        struct rlimit limit = {(rlim_t)fileSizeLimit, (rlim_t)fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
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

  std::set<std::string> Files() {
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

  void ExpectRefused(const std::vector<std::string>& args, const std::string& mention) {
    Outcome run = Ambrel(args);
    EXPECT_NE(run.status, 0) << run.err;
    EXPECT_NE(run.status, -1) << "crashed";
    EXPECT_NE(run.err.find(mention), std::string::npos) << "stderr: " << run.err;
    EXPECT_TRUE(Files().empty()) << "left a file behind";
  }

  std::string dir, logDir;
};

struct PngImage {
  bool ok = false;
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

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

TEST_F(AmbrelCommandTest, RendersAPngOfTheRequestedSize) {
  Outcome run = Ambrel({"--render", "--size", "96x64", "--frames", "5", "--seed", "3", "--output", "frame.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("frame.png"), std::string::npos) << run.out;
  EXPECT_EQ(Files(), std::set<std::string>{"frame.png"});
  PngImage image = ReadPng(dir + "/frame.png");
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 96u);
  EXPECT_EQ(image.height, 64u);
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < image.rgb.size(); i += 3)
    colours.insert(image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2]);
  EXPECT_GT(colours.size(), 20u) << "the frame looks blank";
}

TEST_F(AmbrelCommandTest, WritesEveryKthFrameToNumberedFiles) {
  Outcome run = Ambrel({"--size=32x32", "--frames=6", "--every=3", "--seed=1", "--preview", "--no-bowl",
                    "--no-lighting", "--water-res=4", "--water-speed=50", "--drip-speed=1", "--output=shot.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Files(), (std::set<std::string>{"shot-000003.png", "shot-000006.png"}));
}

TEST_F(AmbrelCommandTest, SameSeedGivesTheSameFrame) {
  std::vector<std::string> args = {"--size", "48x32", "--frames", "70", "--seed", "42", "--output"};
  args.push_back("a.png");
  ASSERT_EQ(Ambrel(args).status, 0);
  args.back() = "b.png";
  ASSERT_EQ(Ambrel(args).status, 0);
  EXPECT_EQ(ReadPng(dir + "/a.png").rgb, ReadPng(dir + "/b.png").rgb);
}

TEST_F(AmbrelCommandTest, HelpListsTheOptions) {
  Outcome run = Ambrel({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"--size", "--frames", "--seconds", "--every", "--seed", "--water-speed", "--water-res",
                             "--drip-speed", "--no-lighting", "--no-bowl", "--preview", "--output"})
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  EXPECT_TRUE(Files().empty());
}

TEST_F(AmbrelCommandTest, RefusesHostileSizes) {
  for (const char* size : {"0x10", "10x0", "-5x10", "10x-5", "20000x10", "16385x2", "abc", "10x", "x10", "10x10x10",
                           "99999999999999999999x1", ""})
    ExpectRefused({"--size", size, "--frames", "1"}, "--size");
}

TEST_F(AmbrelCommandTest, RefusesUnknownOptionsAndBadValues) {
  ExpectRefused({"--bogus"}, "unknown option");
  ExpectRefused({"--size"}, "needs a value");
  ExpectRefused({"--frames", "0"}, "--frames");
  ExpectRefused({"--frames", "2", "--seconds", "1"}, "either");
  ExpectRefused({"--seconds", "nan"}, "--seconds");
  ExpectRefused({"--seconds", "-1"}, "--seconds");
  ExpectRefused({"--every", "5", "--frames", "2"}, "--every");
  ExpectRefused({"--water-res", "9"}, "--water-res");
  ExpectRefused({"--drip-speed", "0"}, "--drip-speed");
  ExpectRefused({"--seed", "-1"}, "--seed");
  ExpectRefused({"--preview=yes"}, "takes no value");
}

TEST_F(AmbrelCommandTest, RefusesAnUnwritableOutputBeforeRendering) {
  ExpectRefused({"--frames", "1", "--size", "16x16", "--output", "missing/frame.png"}, "no such directory");
  ASSERT_EQ(mkdir((dir + "/taken.png").c_str(), 0755), 0);
  Outcome run = Ambrel({"--frames", "1", "--size", "16x16", "--output", "taken.png"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("is a directory"), std::string::npos) << run.err;
  EXPECT_EQ(Files(), std::set<std::string>{"taken.png"});
}

TEST_F(AmbrelCommandTest, AFailedWriteLeavesNothingHalfWritten) {
  // An earlier good frame must survive a failed attempt to replace it.
  ASSERT_EQ(Ambrel({"--frames", "1", "--size", "16x16", "--seed", "1", "--output", "frame.png"}).status, 0);
  std::string before = ReadFile(dir + "/frame.png");
  Outcome run = Ambrel({"--frames", "2", "--size", "256x256", "--seed", "1", "--output", "frame.png"}, 600);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.status, -1) << "crashed";
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
  EXPECT_EQ(Files(), std::set<std::string>{"frame.png"});
  EXPECT_EQ(ReadFile(dir + "/frame.png"), before);
}

}  // namespace

#endif
