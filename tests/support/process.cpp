#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

void ReadAvailable(int* fd, std::string* into) {
  char chunk[4096];
  ssize_t got = read(*fd, chunk, sizeof chunk);
  if (got > 0) {
    into->append(chunk, static_cast<size_t>(got));
  } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    close(*fd);
    *fd = -1;
  }
}

}  // namespace

bool RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options, ProcessResult* result) {
  *result = ProcessResult();
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
  if (pipe2(errPipe, O_CLOEXEC) != 0) return false;

  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    for (const std::string& name : options.unsetEnvironment) unsetenv(name.c_str());
    for (const std::string& entry : options.setEnvironment) putenv(const_cast<char*>(entry.c_str()));
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    int input = open("/dev/null", O_RDONLY);
    dup2(input, STDIN_FILENO);
    dup2(outPipe[1], STDOUT_FILENO);
    if (options.stderrFile.empty()) {
      dup2(errPipe[1], STDERR_FILENO);
    } else {
      int file = open(options.stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (file < 0) _exit(126);
      dup2(file, STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }

  close(outPipe[1]);
  close(errPipe[1]);
  int fds[2] = {outPipe[0], errPipe[0]};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(polled, 2, -1) < 0 && errno != EINTR) break;
    if (fds[0] >= 0 && polled[0].revents != 0) ReadAvailable(&fds[0], &result->out);
    if (fds[1] >= 0 && polled[1].revents != 0) ReadAvailable(&fds[1], &result->err);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result->exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result->signal = WTERMSIG(status);
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string MakeTemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "grantright-test-XXXXXX").string();
  if (mkdtemp(&pattern[0]) == nullptr) std::abort();
  return pattern;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}
