// Captures what reaches file descriptor 2, with the stderr stream fully
// buffered as the Windows runtime has it for a file or a pipe, so a raw
// write that overtakes buffered text shows up in the captured order.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

struct StderrCapture {
  StderrCapture() {
    ::testing::internal::CaptureStderr();
    std::setvbuf(stderr, nullptr, _IOFBF, 4096);
  }
  ~StderrCapture() { Finish(); }
  // Everything written so far; the capture ends here.
  std::string Finish() {
    if (!done_) {
      std::fflush(stderr);
      std::setvbuf(stderr, nullptr, _IONBF, 0);
      text_ = ::testing::internal::GetCapturedStderr();
      done_ = true;
    }
    return text_;
  }

 private:
  bool done_ = false;
  std::string text_;
};
