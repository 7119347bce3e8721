#include "CompositorSession.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestPictures.h"
#include "platform/Clock.h"

namespace ambrel {

namespace {

namespace fs = std::filesystem;

// Far above any account's number; the test's process number is added.
constexpr uid_t kFirstSessionUser = 1900000000;

bool ReadPpm(const std::string& path, Screenshot* shot) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> shot->width >> shot->height >> maxValue;
  in.get();
  if (!in || magic != "P6" || maxValue != 255 || shot->width <= 0 || shot->height <= 0) return false;
  shot->rgb.resize(size_t(shot->width) * shot->height * 3);
  in.read(reinterpret_cast<char*>(shot->rgb.data()), std::streamsize(shot->rgb.size()));
  return bool(in);
}

}  // namespace

double Screenshot::MeanLevel() const {
  if (rgb.empty()) return 0;
  double sum = 0;
  for (uint8_t value : rgb) sum += value;
  return sum / double(rgb.size());
}

double Screenshot::ShareDominatedBy(int channel) const { return ambrel::ShareDominatedBy(rgb, channel, 20); }

double Screenshot::ShareChangedFrom(const Screenshot& other) const {
  if (rgb.empty() || rgb.size() != other.rgb.size()) return 0;
  size_t count = 0;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
    int difference = 0;
    for (size_t c = 0; c < 3; ++c) difference += std::abs(int(rgb[i + c]) - int(other.rgb[i + c]));
    if (difference > 6) ++count;
  }
  return double(count) / double(rgb.size() / 3);
}

CompositorSession::~CompositorSession() {
  Stop();
  std::error_code ignored;
  if (!root_.empty()) fs::remove_all(root_, ignored);
}

// Everything under path handed to the session's user.
bool CompositorSession::HandOver(const std::string& path) {
  if (!switchUser_) return true;
  if (lchown(path.c_str(), uid_, gid_) != 0) return false;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(path, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error))
    if (lchown(it->path().c_str(), uid_, gid_) != 0) return false;
  return !error;
}

bool CompositorSession::MakeFolders(std::string* error) {
  // Each session runs as a user of its own, by a number no account has: sessions
  // side by side share no user, and no account is added to the system. sway only
  // refuses root.
  switchUser_ = geteuid() == 0;
  uid_ = switchUser_ ? uid_t(kFirstSessionUser + getpid()) : geteuid();
  gid_ = switchUser_ ? gid_t(uid_) : getegid();
  char pattern[] = "/tmp/ambrel-wayland-XXXXXX";
  if (!mkdtemp(pattern)) {
    *error = "mkdtemp failed";
    return false;
  }
  root_ = pattern;
  runtime_ = root_ + "/runtime";
  work_ = root_ + "/work";
  mkdir(runtime_.c_str(), 0700);
  mkdir(work_.c_str(), 0755);
  mkdir((work_ + "/bin").c_str(), 0755);
  mkdir((work_ + "/share").c_str(), 0755);
  // The build tree may sit where the user cannot reach; the program and its data
  // go beside each other in the session's folder.
  std::error_code copied;
#ifdef AMBREL_PROGRAM
  ambrel_ = work_ + "/bin/ambrel";
  fs::copy_file(AMBREL_PROGRAM, ambrel_, copied);
  if (!copied) fs::copy(AMBREL_RESOURCE_DIR, work_ + "/share/ambrel", fs::copy_options::recursive, copied);
  if (copied) {
    *error = "cannot copy the ambrel program and its data: " + copied.message();
    return false;
  }
#endif
#ifdef AMBREL_VIRTUAL_POINTER
  pointer_ = work_ + "/bin/ambrel-virtual-pointer";
  if (fs::copy_file(AMBREL_VIRTUAL_POINTER, pointer_, copied); copied) {
    *error = "cannot copy the virtual pointer: " + copied.message();
    return false;
  }
#endif
  carried_ = SanitizerFilesCopiedTo(work_ + "/env");
  chmod(root_.c_str(), 0755);
  if (!HandOver(root_)) {
    *error = "cannot hand the session folders to the test user";
    return false;
  }
  return true;
}

std::string CompositorSession::Carry(const std::string& program) {
  const std::string copy = work_ + "/bin/" + fs::path(program).filename().string();
  std::error_code error;
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing, error);
  if (error || !HandOver(copy)) return program;
  return copy;
}

std::string CompositorSession::Preload(const std::string& library) {
  std::string list;
  for (const std::string& entry : carried_)
    if (entry.rfind("LD_PRELOAD=", 0) == 0) list = entry.substr(11) + ":";
  const std::string copy = work_ + "/env/" + fs::path(library).filename().string();
  std::error_code error;
  fs::create_directories(work_ + "/env", error);
  fs::copy_file(library, copy, fs::copy_options::overwrite_existing, error);
  fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, fs::perm_options::add,
                  error);
  return "LD_PRELOAD=" + list + (error ? library : copy);
}

std::vector<std::string> CompositorSession::UserPrefix() const {
  if (!switchUser_) return {};
  return {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
          "--clear-groups", "--"};
}

std::vector<std::string> CompositorSession::Environment() const {
  std::vector<std::string> environment = {"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + work_,
                                          "XDG_CONFIG_HOME=" + work_ + "/config", "DISPLAY",
                                          "AMBREL_RESOURCES=" + work_ + "/share/ambrel"};
  if (!swaySocket_.empty()) environment.push_back("SWAYSOCK=" + swaySocket_);
  environment.insert(environment.end(), carried_.begin(), carried_.end());
  environment.push_back(socket_.empty() ? std::string("WAYLAND_DISPLAY") : "WAYLAND_DISPLAY=" + socket_);
  return environment;
}

std::unique_ptr<ChildProcess> CompositorSession::Run(const std::string& program,
                                                     const std::vector<std::string>& arguments,
                                                     const std::vector<std::string>& environment,
                                                     const std::string& directory) {
  std::vector<std::string> argv = UserPrefix();
  std::string first = program;
  if (!argv.empty()) {
    argv.push_back(program);
    first = argv.front();
    argv.erase(argv.begin());
  }
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env = Environment();
  env.insert(env.end(), environment.begin(), environment.end());
  auto child = std::make_unique<ChildProcess>();
  ChildOptions options;
  options.directory = directory;
  if (!child->Start(first, argv, env, options)) return nullptr;
  return child;
}

int CompositorSession::RunToEnd(const std::string& program, const std::vector<std::string>& arguments,
                                std::string* output, double timeoutSeconds) {
  auto child = Run(program, arguments);
  if (!child) return -1;
  const int status = child->Wait(timeoutSeconds);
  if (output) *output = child->output() + child->errors();
  return status;
}

bool CompositorSession::Start(Kind kind, const std::string& swayConfig, int outputs, std::string* error) {
  kind_ = kind;
  if (!MakeFolders(error)) return false;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::string program;
  if (kind == Kind::Sway) {
    // Where sway itself would look, so that Ambrel's reader of sway's configuration finds it.
    std::string text = swayConfig;
    for (size_t at; (at = text.find("@WORK@")) != std::string::npos;) text.replace(at, 6, work_);
    const std::string folder = work_ + "/config/sway", config = folder + "/config";
    std::error_code made;
    fs::create_directories(folder, made);
    std::ofstream(config) << text;
    if (made || !HandOver(work_ + "/config")) {
      *error = "cannot write sway's configuration";
      return false;
    }
    program = "/usr/bin/sway";
    arguments = {"-c", config};
    environment = {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                   "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs)};
  } else {
    program = "/usr/bin/weston";
    // --debug lets weston-screenshooter read the output.
    arguments = {"--backend=headless-backend.so", "--use-pixman", "--socket=ambrel-weston", "--width=640",
                 "--height=360", "--idle-time=0", "--no-config", "--debug"};
  }
  compositor_ = Run(program, arguments, environment);
  if (!compositor_) {
    *error = "cannot start " + program;
    return false;
  }
  const double deadline = MonotonicSeconds() + 15;
  while (MonotonicSeconds() < deadline && (socket_.empty() || (kind == Kind::Sway && swaySocket_.empty()))) {
    if (!compositor_->Running()) break;
    if (DIR* dir = opendir(runtime_.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos) socket_ = name;
        if (name == "ambrel-weston") socket_ = name;
        if (name.rfind("sway-ipc.", 0) == 0) swaySocket_ = runtime_ + "/" + name;
      }
      closedir(dir);
    }
    if (socket_.empty() || swaySocket_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (socket_.empty()) {
    compositor_->Wait(1);
    *error = program + " did not make its socket: " + compositor_->errors().substr(0, 2000);
    return false;
  }
  // The socket is there before the outputs are; grim answers once they are, and
  // weston's output stays black until its desktop shell has drawn.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (kind == Kind::Sway && RunToEnd("/usr/bin/grim", {"-t", "ppm", work_ + "/ready.ppm"}, nullptr, 5) == 0)
      return true;
    if (kind == Kind::Weston && Shoot("").MeanLevel() > 10) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  *error = "the compositor never showed its outputs";
  return false;
}

bool CompositorSession::AddInputDevices(std::string* error) {
  keyboard_ = Run("/usr/bin/wtype", {"-s", "3600000"});
  mouse_ = Run(pointer_, {"wait", "3600000"});
  if (!keyboard_ || !mouse_) {
    *error = "cannot start the virtual keyboard and pointer";
    return false;
  }
  std::string inputs;
  for (const double deadline = MonotonicSeconds() + 20; MonotonicSeconds() < deadline;) {
    RunToEnd("/usr/bin/swaymsg", {"-t", "get_inputs"}, &inputs);
    if (inputs.find("\"keyboard\"") != std::string::npos && inputs.find("\"pointer\"") != std::string::npos)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "sway never listed the virtual keyboard and pointer: " + inputs + keyboard_->errors() + mouse_->errors();
  return false;
}

void CompositorSession::StopInputDevices() {
  keyboard_.reset();
  mouse_.reset();
}

pid_t CompositorSession::pid() const { return compositor_ ? compositor_->pid() : -1; }

void CompositorSession::Stop() {
  StopInputDevices();
  if (!compositor_) return;
  compositor_->Signal(SIGTERM);
  if (compositor_->Wait(10) < 0) {
    compositor_->Signal(SIGKILL);
    compositor_->Wait(5);
  }
  compositor_.reset();
}

void CompositorSession::Kill() {
  if (!compositor_) return;
  compositor_->Signal(SIGKILL);
  compositor_->Wait(5);
  compositor_.reset();
}

Screenshot CompositorSession::Shoot(const std::string& output) {
  Screenshot shot;
  if (kind_ == Kind::Weston) {
    // weston-screenshooter writes wayland-screenshot-DATE.png where it runs.
    const std::string folder = work_ + "/shot-" + std::to_string(shots_++);
    mkdir(folder.c_str(), 0777);
    chmod(folder.c_str(), 0777);
    auto shooter = Run("/usr/bin/weston-screenshooter", {}, {}, folder);
    if (!shooter || shooter->Wait(10) != 0) {
      if (shooter) lastShot_ = shooter->output() + shooter->errors();
      return shot;
    }
    std::string found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
      if (entry.path().extension() == ".png") found = entry.path();
    if (found.empty()) return shot;
    PngImage image = ReadPng(found);
    shot.ok = image.ok;
    shot.width = int(image.width);
    shot.height = int(image.height);
    shot.rgb = std::move(image.rgb);
    return shot;
  }
  const std::string path = work_ + "/shot-" + std::to_string(shots_++) + ".ppm";
  std::vector<std::string> arguments = {"-t", "ppm"};
  if (!output.empty()) arguments.insert(arguments.end(), {"-o", output});
  arguments.push_back(path);
  if (RunToEnd("/usr/bin/grim", arguments, &lastShot_, 10) != 0) return shot;
  shot.ok = ReadPpm(path, &shot);
  unlink(path.c_str());
  return shot;
}

}  // namespace ambrel
