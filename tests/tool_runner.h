// Runs the built tools in a folder of their own and looks at what they left.

#ifndef TESTS_TOOL_RUNNER_H_
#define TESTS_TOOL_RUNNER_H_

#include <map>
#include <string>
#include <vector>

struct RunResult {
  int status;       // exit status as a shell sees it, or -1 if killed
  std::string out;  // all of standard output
  std::string err;  // all of standard error
};

struct RunOptions {
  long addressLimit = 0;  // bytes of address space (ulimit -v); 0 for none
};

// Runs tool (an absolute path) with args in dir.
RunResult RunTool(const std::string& dir, const std::string& tool,
                  const std::vector<std::string>& args, const RunOptions& options = {});

// A fresh folder, removed with everything in it at the end of the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// Every file below dir by relative path: regular files map to their
// contents, folders to "<dir>", symbolic links to "-> target".
std::map<std::string, std::string> Snapshot(const std::string& dir);

#endif  // TESTS_TOOL_RUNNER_H_
