// libjpeg reports fatal errors by calling error_exit, which must not return. This trap turns
// them into a longjmp back to the setjmp of the function that drives libjpeg, and silences the
// library's warnings (the callers report failures in their own words).
#pragma once
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct TJpegErrorTrap {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

// Installs the trap as the error manager of a libjpeg object (before jpeg_create_*). The
// caller then does `if (setjmp(trap.Jump)) { ...clean up...; }`.
inline jpeg_error_mgr* InstallJpegErrorTrap(TJpegErrorTrap& trap) {
  jpeg_std_error(&trap.Manager);
  trap.Manager.error_exit = [](j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegErrorTrap*>(info->err)->Jump, 1);
  };
  trap.Manager.output_message = [](j_common_ptr) {};
  return &trap.Manager;
}
