#!/usr/bin/env bash
# Installs everything needed to build and test the project on Debian 12 (bookworm), amd64, as root:
#  - native 32-bit (-m32) builds with GoogleTest, ASan/UBSan and valgrind
#  - cross builds of 32-bit Windows executables with MinGW-w64 (i686, posix threads)
#  - running them under 32-bit wine, headless under Xvfb, with screenshots
# Non-interactive and idempotent: a second run only checks and exits.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

# Native toolchain and tools (cmake/ninja/gtest/valgrind are on the image already; listed so a bare machine gets them too)
PKGS_NATIVE=(build-essential g++-multilib cmake ninja-build googletest libgtest-dev valgrind libc6-dbg:i386)
# Cross compiler: i686 MinGW-w64, posix thread model (std::thread / std::mutex work)
PKGS_CROSS=(g++-mingw-w64-i686-posix)
# wine, 32-bit only (WINEARCH=win32), without recommends; plus the recommends that matter for a GUI/D3D/D2D/DWrite/HTTP app:
#  GL for wined3d (Direct3D 11 / Direct2D), X extensions for the x11 driver, gnutls for bcrypt/schannel, fonts.
PKGS_WINE=(wine wine32:i386
  libgl1:i386 libgl1-mesa-dri:i386 libgnutls30:i386
  libxrender1:i386 libxrandr2:i386 libxcursor1:i386 libxi6:i386 libxcomposite1:i386
  libxfixes3:i386 libxinerama1:i386 libxxf86vm1:i386
  fonts-wine fonts-liberation)
# Headless display, screenshots (import / xwd), GUI driving (xdotool)
PKGS_X=(xvfb xauth x11-apps x11-utils imagemagick xdotool)
# GCC 12 has no <format>: fmt's headers, usable header-only (FMT_HEADER_ONLY) by both g++ -m32 and MinGW
# lua5.4: a peer interpreter for bench/run
PKGS_EXTRA=(libfmt-dev ccache clang libclang-rt-14-dev lua5.4)
# libcurl for the native HTTP client (services/http_posix.cpp), 32-bit
PKGS_EXTRA+=(libcurl4-openssl-dev:i386)

# The image codecs of the native build (services/image_codecs_posix.cpp): 32-bit development packages
PKGS_IMAGE=(libpng-dev:i386 libjpeg62-turbo-dev:i386 libgif-dev:i386 libtiff-dev:i386)

ALL=("${PKGS_NATIVE[@]}" "${PKGS_IMAGE[@]}" "${PKGS_CROSS[@]}" "${PKGS_WINE[@]}" "${PKGS_X[@]}" "${PKGS_EXTRA[@]}")

missing=()
for p in "${ALL[@]}"; do
  # dpkg-query needs an explicit arch for foreign packages; native ones default to amd64
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
# Some kernels run no 32-bit x86 program of their own (exec answers "Exec format error") although
# they are 64-bit x86: there both builds' tests run through qemu's user-mode emulator, registered
# with binfmt_misc for 32-bit x86 ELF files, so that -m32 tests, valgrind and wine start as usual.
APT_OPTS=(-y -q --no-install-recommends -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
ensure_i386_exec() {
  local probe
  probe=$(mktemp -d)
  printf 'int main(void){return 0;}\n' >"$probe/p.c"
  if ! gcc -m32 -static "$probe/p.c" -o "$probe/p" 2>/dev/null; then rm -rf "$probe"; return 0; fi
  if "$probe/p" 2>/dev/null; then rm -rf "$probe"; return 0; fi
  echo "install-deps: this kernel runs no 32-bit x86 program; registering qemu-i386 for them"
  if [ ! -x /usr/bin/qemu-i386-static ]; then
    apt-get install "${APT_OPTS[@]}" qemu-user-static
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # The registered interpreter turns LeakSanitizer off before starting qemu: it stops the world
  # with ptrace, which qemu's user mode lacks, and the sanitizer builds would hang at exit.
  local wrapper=/usr/local/bin/qemu-i386-lsanoff
  if [ ! -x "$wrapper" ]; then
    cat >"$probe/w.c" <<'C'
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
int main(int argc, char **argv) {
  (void)argc;
  const char *old = getenv("LSAN_OPTIONS");
  char options[4096];
  snprintf(options, sizeof options, "%s%sdetect_leaks=0", old ? old : "", (old && *old) ? ":" : "");
  setenv("LSAN_OPTIONS", options, 1);
  argv[0] = "/usr/bin/qemu-i386-static";
  execv(argv[0], argv);
  perror("qemu-i386-static");
  return 127;
}
C
    gcc -O2 -static "$probe/w.c" -o "$wrapper"
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$wrapper:F" \
      >/proc/sys/fs/binfmt_misc/register
  fi
  "$probe/p" || { echo "install-deps: 32-bit x86 programs still do not run" >&2; rm -rf "$probe"; return 1; }
  rm -rf "$probe"
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#ALL[@]} packages present"
  ensure_i386_exec
  exit 0
fi
echo "install-deps: missing: ${missing[*]}"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

# apt-get update exits 100 if any one index fails. Seen here: the bookworm-security i386 Packages.xz on the
# mirror did not match its InRelease ("File has unexpected size ... Mirror sync in progress?").
# Carry on if the main indexes are there; the install below falls back to the main suite if needed.
if ! apt-get update -q; then
  echo "install-deps: apt-get update reported errors; continuing with the indexes it has" >&2
fi

if ! apt-get install "${APT_OPTS[@]}" "${ALL[@]}"; then
  # Multi-Arch: same packages (zlib1g, libssl3, ...) must have equal versions for amd64 and i386.
  # Without the security i386 index the amd64 candidates (from security) and the i386 ones (from main)
  # differ, and apt cannot resolve. Preferring the main suite makes both arches take the same version.
  echo "install-deps: retrying with -t bookworm (main suite preferred for both arches)" >&2
  apt-get install "${APT_OPTS[@]}" -t bookworm "${ALL[@]}"
fi

ensure_i386_exec
i686-w64-mingw32-g++-posix --version | head -1
wine --version
echo "install-deps: done"
