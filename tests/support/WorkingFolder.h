// Changes the process's current folder for the lifetime of the object, and back at the end:
// for code that reads fixed or relative file names.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& folder) {
    if (!::getcwd(previous_, sizeof previous_)) previous_[0] = 0;
    EXPECT_EQ(::chdir(folder.c_str()), 0);
  }
  ~WorkingFolder() {
    if (previous_[0]) {
      EXPECT_EQ(::chdir(previous_), 0);
    }
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  char previous_[4096];
};
