// Runs a program as a child process and collects what it wrote and how it ended.
#pragma once

#include <string>
#include <vector>

struct ProcessOptions {
  std::vector<std::string> setEnvironment;    // "NAME=value", added to this process's own
  std::vector<std::string> unsetEnvironment;  // names removed
  std::string stderrFile;                     // when set, standard error goes to this file
  std::string workingDirectory;
};

struct ProcessResult {
  int exitStatus = -1;  // -1 when the child did not exit normally
  int signal = 0;       // the signal that ended it, if one did
  std::string out;
  std::string err;  // empty when standard error went to a file
};

// False when the child could not be started at all.
bool RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options, ProcessResult* result);

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

// A new empty folder under the system's temporary folder.
std::string MakeTemporaryFolder();
void RemoveTree(const std::string& path);
