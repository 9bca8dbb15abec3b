# Installs the Debian packages a script needs, asking apt only for those that are missing.
# Sourced by the scripts beside it.

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# ensure_packages NAME... : names may carry an architecture, such as wine32:i386.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What every build needs.
core_packages=(cmake ninja-build g++ pkg-config libgtest-dev)
# The Qt window and its tests: Qt's platform plugins (xcb for a desktop, offscreen for the tests;
# some releases ship them apart from the Qt libraries; wayland, whose failed start a test reads),
# and the font whose widths the window's font size is chosen for and its tests measure captions
# with.
qt_packages=(qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins qt6-wayland
    fonts-dejavu-core)
# The reliability tests' full-disk rows: they format and loop-mount small ext3 and XFS images
# with 1 KiB blocks (a row that cannot, without root, reports itself skipped); a Latin-1 locale
# made with localedef, and the C library's German messages, for the system's text in a failure.
fault_packages=(e2fsprogs xfsprogs locales libc-l10n)
# The fuzz targets (clang's libFuzzer and sanitizers).
fuzz_packages=(clang-14 libclang-rt-14-dev)
# The benchmarks: Google Benchmark, and for the start-up runner an X server of its own and the
# xcb client library it watches that server's windows with.
bench_packages=(libbenchmark-dev xvfb libxcb1-dev)
# The source format check (the version pinned, since releases format differently).
format_packages=(clang-format-14)
# The 32-bit Windows program: the MinGW-w64 cross compiler and GoogleTest's sources to build
# for it; Wine with its fonts on an X server of its own for the window tests. wine64 brings the
# 64-bit Wine server, which then serves the 32-bit programs too: on a machine whose kernel runs
# no 32-bit code, only the programs under test run under qemu, never the server they all need.
windows_build_packages=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest)
windows_packages=("${windows_build_packages[@]}" wine wine32:i386 wine64 fonts-wine xvfb xauth)
# scripts/package: the Windows installer's compiler, and dpkg-shlibdeps and file, with which
# cpack works out the .deb's library dependencies.
package_packages=(nsis dpkg-dev file)
# scripts/check-packages: unpacking, the desktop entry's validator, finding windows on the X
# server, python3 for the script that closes them, git for the clean builds it compares, and
# the .deb's and the AppStream metadata's checkers.
check_packages=(unzip desktop-file-utils xdotool python3 binutils git lintian appstream)
