// libjpeg reports fatal errors by calling error_exit, which must not return. This trap turns
// them into a longjmp back to the setjmp of the function that drives libjpeg, and keeps the
// library's warnings off stderr: the first one that says the data is corrupt or cut short is
// kept in FirstDamage for the caller to report once.
#pragma once
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

struct TJpegErrorTrap {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char FirstDamage[JMSG_LENGTH_MAX] = {};
};

// Installs the trap as the error manager of a libjpeg object (before jpeg_create_*). The
// caller then does `if (setjmp(trap.Jump)) { ...clean up...; }`.
inline jpeg_error_mgr* InstallJpegErrorTrap(TJpegErrorTrap& trap) {
  jpeg_std_error(&trap.Manager);
  trap.Manager.error_exit = [](j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegErrorTrap*>(info->err)->Jump, 1);
  };
  trap.Manager.output_message = [](j_common_ptr) {};
  trap.Manager.emit_message = [](j_common_ptr info, int level) {
    if (level >= 0) return;  // trace messages
    auto* self = reinterpret_cast<TJpegErrorTrap*>(info->err);
    const int code = self->Manager.msg_code;
    const bool damage = code == JWRN_HIT_MARKER || code == JWRN_JPEG_EOF ||
                        code == JWRN_MUST_RESYNC || code == JWRN_EXTRANEOUS_DATA ||
                        code == JWRN_NOT_SEQUENTIAL || code == JWRN_BOGUS_PROGRESSION ||
                        code == JWRN_HUFF_BAD_CODE || code == JWRN_ARITH_BAD_CODE ||
                        code == JWRN_TOO_MUCH_DATA;
    ++self->Manager.num_warnings;
    if (damage && self->FirstDamage[0] == 0) (*self->Manager.format_message)(info, self->FirstDamage);
  };
  return &trap.Manager;
}
