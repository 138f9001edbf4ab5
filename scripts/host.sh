# What this host can run, for the scripts that choose which Windows build to run under Wine.
# Sourced.

# Whether the kernel executes 32-bit x86 code, found by running a 32-bit binary once: some hosts'
# kernels have no 32-bit support at all, and there only 64-bit Wine starts.
# QUILLMARK_WIN64_ONLY=1 answers no, so the 64-bit-only path can be reproduced on any host.
host_runs_32bit_code() {
  [ "${QUILLMARK_WIN64_ONLY:-0}" = 1 ] && return 1
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# One line on why the 32-bit program is not run here.
host_32bit_reason() {
  if [ "${QUILLMARK_WIN64_ONLY:-0}" = 1 ]; then
    echo "QUILLMARK_WIN64_ONLY=1 is set"
  else
    local answer
    answer=$( (/lib/ld-linux.so.2 --version) 2>&1 | head -n1 | sed 's/.*: //')
    echo "this host's kernel does not execute 32-bit x86 code (/lib/ld-linux.so.2: ${answer:-no answer})"
  fi
}
