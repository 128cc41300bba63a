#!/usr/bin/env bash
# Whether this machine runs i386 programs, and running them under qemu-user
# where its kernel does not (some machines of this kind run no 32-bit code).
#   i386-emulation.sh mode        prints "native" (the kernel runs i386
#                                 programs itself), "emulated" (through a
#                                 binfmt_misc entry that hands them to
#                                 qemu-i386), or "none"
#   i386-emulation.sh register    registers qemu-i386 for i386 programs under
#                                 this project's own binfmt_misc entry
#                                 (mounting binfmt_misc where it is not
#                                 mounted); needs root and /usr/bin/qemu-i386
#   i386-emulation.sh unregister  removes that entry again
# binfmt_misc's entries are asked before the kernel's own ELF loader, so once
# registered, every i386 program on the machine runs emulated, those that
# other programs start included (the command-line host under cli_test, a
# Ruby that loads the library), also on a machine that could run it
# natively: that is how the emulated run is tried anywhere.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BINFMT=/proc/sys/fs/binfmt_misc
ENTRY="$BINFMT/vellora-i386"
QEMU=/usr/bin/qemu-i386

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The smallest i386 program: exit(0) by the system call, assembled and linked
# with binutils alone (no 32-bit C library needed yet).
probe_program() {
  local dir="${VELLORA_DEPS:-$ROOT/.deps}/i386-probe"
  if [ ! -x "$dir/probe" ]; then
    mkdir -p "$dir"
    printf '.globl _start\n_start:\n  movl $1, %%eax\n  xorl %%ebx, %%ebx\n  int $0x80\n' >"$dir/probe.s"
    as --32 "$dir/probe.s" -o "$dir/probe.o"
    ld -m elf_i386 "$dir/probe.o" -o "$dir/probe"
  fi
  echo "$dir/probe"
}

# Another binfmt_misc entry (Debian's qemu-user-binfmt, systemd-binfmt) that
# hands i386 programs to qemu: then they are emulated, whatever the kernel
# could do.
foreign_emulation() {
  [ -d "$BINFMT" ] || return 1
  local entry
  for entry in "$BINFMT"/*; do
    [ "$entry" = "$ENTRY" ] && continue
    [ -f "$entry" ] || continue
    if grep -qx enabled "$entry" 2>/dev/null && grep -q '^interpreter .*qemu-i386' "$entry"; then
      return 0
    fi
  done
  return 1
}

runs_natively() {
  local probe status
  probe="$(probe_program)"
  # Our own entry, if registered, is set aside for the probe.
  local ours=false
  if [ -f "$ENTRY" ] && grep -qx enabled "$ENTRY"; then
    ours=true
    echo 0 | $SUDO tee "$ENTRY" >/dev/null
  fi
  status=0
  "$probe" 2>/dev/null || status=$?
  if $ours; then echo 1 | $SUDO tee "$ENTRY" >/dev/null; fi
  [ "$status" -eq 0 ]
}

runs_at_all() {
  local probe
  probe="$(probe_program)"
  "$probe" 2>/dev/null
}

case "${1:-}" in
  mode)
    if foreign_emulation; then
      echo emulated
    elif runs_natively; then
      echo native
    elif runs_at_all; then
      echo emulated
    else
      echo none
    fi
    ;;
  register)
    [ -x "$QEMU" ] || { echo "i386-emulation.sh: $QEMU is missing (Debian's qemu-user)" >&2; exit 1; }
    if [ ! -f "$BINFMT/register" ]; then
      $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT"
    fi
    if [ ! -f "$ENTRY" ]; then
      # i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3);
      # F opens the interpreter now, so that it serves in every mount
      # namespace.
      magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
      mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
      printf '%s' ":vellora-i386:M::$magic:$mask:$QEMU:F" | $SUDO tee "$BINFMT/register" >/dev/null
    fi
    echo 1 | $SUDO tee "$ENTRY" >/dev/null
    runs_at_all || { echo "i386-emulation.sh: i386 programs still do not run" >&2; exit 1; }
    ;;
  unregister)
    if [ -f "$ENTRY" ]; then echo -1 | $SUDO tee "$ENTRY" >/dev/null; fi
    ;;
  *)
    echo "usage: i386-emulation.sh mode|register|unregister" >&2
    exit 2
    ;;
esac
