# shellcheck shell=bash
# Whether this machine runs 32-bit (i386) Linux programs. Source this file,
# then:
#
#   if machine_runs_32bit; then ...   # 32-bit Wine can work here
#
# Some x86-64 kernels run 64-bit user code only: every i386 program fails
# with "Exec format error", although the kernel configuration names IA-32
# emulation and dpkg installs i386 packages all the same. Neither of those
# tells, so the answer comes from running one: a 12-instruction-byte i386
# program written on the fly that exits with status 42. It is asked once per
# shell and exported as QUILLON_RUNS_32BIT (yes or no) for child scripts.
#
# QUILLON_NO_32BIT=1 answers no on any machine, so the 64-bit-only path can
# be tried where 32-bit programs run.

machine_runs_32bit() {
    if [[ "${QUILLON_NO_32BIT:-}" == 1 ]]; then
        return 1
    fi
    if [[ -z "${QUILLON_RUNS_32BIT:-}" ]]; then
        export QUILLON_RUNS_32BIT=no
        local probe
        probe="$(mktemp)"
        # ELF header, one loadable segment, then: mov eax,1; mov ebx,42; int 0x80.
        printf '%b' \
            '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
            '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
            '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
            '\x00\x00\x00\x00' \
            '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
            '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
            '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
        chmod +x "$probe"
        local status=0
        "$probe" 2>/dev/null || status=$?
        rm -f "$probe"
        if ((status == 42)); then
            QUILLON_RUNS_32BIT=yes
        fi
    fi
    [[ "$QUILLON_RUNS_32BIT" == yes ]]
}

# The line test.sh and the other scripts print for what they leave out.
NO_32BIT_REASON="skipped: this machine cannot run 32-bit programs"
