#include "tests/tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

RunResult RunTool(const std::string& dir, const std::string& tool,
                  const std::vector<std::string>& args, const RunOptions& options) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(tool.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    close(devnull);
    if (options.addressLimit > 0) {
#ifdef ZU_SANITIZED
      // AddressSanitizer cannot start within a small address space; its own
      // allocation limit makes new (std::nothrow) fail the same way.
      const char* asan = std::getenv("ASAN_OPTIONS");
      std::string limited = std::string(asan ? asan : "") +
                            ":allocator_may_return_null=1:max_allocation_size_mb=" +
                            std::to_string(options.addressLimit >> 20);
      setenv("ASAN_OPTIONS", limited.c_str(), 1);
#else
      struct rlimit limit = {static_cast<rlim_t>(options.addressLimit),
                             static_cast<rlim_t>(options.addressLimit)};
      setrlimit(RLIMIT_AS, &limit);
#endif
    }
    if (chdir(dir.c_str()) != 0) _exit(127);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);

  RunResult result{-1, "", ""};
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, n);
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/zu-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
    std::string rel = e.path().lexically_relative(dir).string();
    if (e.is_symlink())
      files[rel] = "-> " + fs::read_symlink(e.path()).string();
    else if (e.is_directory())
      files[rel] = "<dir>";
    else
      files[rel] = ReadFile(e.path().string());
  }
  return files;
}
