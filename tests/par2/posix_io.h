// A POSIX I/O table for the PAR2 component's Linux tests: names resolve in
// one folder; an output is written as NAME.par2tmp and renamed into place
// when kept. A write can be made to fail after a number of calls, and one
// file made unreadable past its first kilobyte (a bad sector).
#ifndef VELMORA_TESTS_PAR2_POSIX_IO_H
#define VELMORA_TESTS_PAR2_POSIX_IO_H

#include <string>
#include <vector>

#include "par2.h"

struct FolderIo {
  explicit FolderIo(std::string f, int failure_after = -1)
      : folder(std::move(f)), writes_before_failure(failure_after) {}
  std::string folder;
  int writes_before_failure;  // -1: never fail
  std::string unreadable;
  std::vector<std::string> messages;
  par2::Io table();
};

#endif
