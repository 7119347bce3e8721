#include "CompositorSession.h"

#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestPictures.h"
#include "platform/Clock.h"

namespace ambrel {

namespace {

constexpr const char* kTestUser = "ambreltest";

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

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
  if (!root_.empty()) Shell("rm -rf " + Quote(root_));
}

bool CompositorSession::MakeFolders(std::string* error) {
  switchUser_ = geteuid() == 0;
  if (switchUser_) {
    if (!getpwnam(kTestUser)) Shell(std::string("useradd -m ") + kTestUser + " >/dev/null 2>&1");
    const passwd* user = getpwnam(kTestUser);
    if (!user) {
      *error = std::string("cannot create the unprivileged user ") + kTestUser;
      return false;
    }
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
  } else {
    uid_ = geteuid();
    gid_ = getegid();
  }
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
#ifdef AMBREL_PROGRAM
  ambrel_ = work_ + "/bin/ambrel";
  if (!Shell("cp " + Quote(AMBREL_PROGRAM) + " " + Quote(ambrel_) + " && cp -r " + Quote(AMBREL_RESOURCE_DIR) + " " +
             Quote(work_ + "/share/ambrel"))) {
    *error = "cannot copy the ambrel program and its data";
    return false;
  }
#endif
#ifdef AMBREL_VIRTUAL_POINTER
  pointer_ = work_ + "/bin/ambrel-virtual-pointer";
  if (!Shell("cp " + Quote(AMBREL_VIRTUAL_POINTER) + " " + Quote(pointer_))) {
    *error = "cannot copy the virtual pointer";
    return false;
  }
#endif
  CarryToolEnvironment();
  chmod(root_.c_str(), 0755);
  if (switchUser_ && !Shell("chown -R " + std::to_string(uid_) + ":" + std::to_string(gid_) + " " + Quote(root_))) {
    *error = "cannot hand the session folders to the test user";
    return false;
  }
  return true;
}

// Files the sanitizer runs name in the environment (a preloaded library, the
// suppressions) may sit in a build tree the test user cannot read: they come
// along into the session's folder and the environment names the copies.
std::string CompositorSession::Carry(const std::string& path) {
  const std::string folder = work_ + "/env";
  mkdir(folder.c_str(), 0755);
  const std::string copy = folder + "/" + std::to_string(copies_++) + "-" + path.substr(path.rfind('/') + 1);
  return Shell("cp " + Quote(path) + " " + Quote(copy) + " && chmod a+r " + Quote(copy)) ? copy : path;
}

std::string CompositorSession::Preload(const std::string& library) {
  std::string list;
  for (const std::string& entry : carried_)
    if (entry.rfind("LD_PRELOAD=", 0) == 0) list = entry.substr(11) + ":";
  return "LD_PRELOAD=" + list + Carry(library);
}

void CompositorSession::CarryToolEnvironment() {
  auto carry = [&](const std::string& path) { return Carry(path); };
  if (const char* preload = std::getenv("LD_PRELOAD"); preload && *preload) {
    std::string list, rest = preload;
    while (!rest.empty()) {
      const size_t colon = rest.find(':');
      const std::string item = rest.substr(0, colon);
      rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
      if (item.empty()) continue;
      list += (list.empty() ? "" : ":") + (item[0] == '/' ? carry(item) : item);
    }
    carried_.push_back("LD_PRELOAD=" + list);
  }
  if (const char* options = std::getenv("LSAN_OPTIONS"); options && *options) {
    std::string text = options;
    const std::string key = "suppressions=";
    if (const size_t at = text.find(key); at != std::string::npos) {
      const size_t start = at + key.size(), end = text.find(':', start);
      const std::string path = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!path.empty() && path[0] == '/') text.replace(start, path.size(), carry(path));
    }
    carried_.push_back("LSAN_OPTIONS=" + text);
  }
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
                                                     const std::vector<std::string>& environment) {
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
  if (!child->Start(first, argv, env)) return nullptr;
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
    Shell("mkdir -p " + Quote(folder));
    std::ofstream(config) << text;
    Shell("chown -R " + std::to_string(uid_) + ":" + std::to_string(gid_) + " " + Quote(work_ + "/config"));
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

pid_t CompositorSession::pid() const { return compositor_ ? compositor_->pid() : -1; }

void CompositorSession::Stop() {
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
    if (RunToEnd("/bin/sh", {"-c", "cd " + Quote(folder) + " && exec weston-screenshooter"}, &lastShot_, 10) != 0)
      return shot;
    const std::string found = folder + "/found.png";
    if (!Shell("mv " + Quote(folder) + "/wayland-screenshot-*.png " + Quote(found))) return shot;
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
