# Wine's settings for the Windows tests and the package checks, and the throwaway prefix they
# run in. Sourced by wine-run and check-packages.

# use_wine_prefix PREFIX : runs every later wine command of the script in PREFIX (an absolute
# path), with the same settings wherever it runs.
use_wine_prefix() {
    export WINEPREFIX=$1
    export WINEARCH=win32
    export WINEDEBUG=-all
    # No Mono or Gecko: their installers would ask on first start, and nothing here needs them.
    # No menu builder: it would copy shortcuts made in the prefix into this machine's own menus.
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
    # The same ANSI code page (1252) and messages wherever the tests run.
    export LC_ALL=C.UTF-8
    # Read only by qemu-i386, which runs 32-bit programs on machines whose kernel cannot: a
    # guest address space just above Wine's 2 GiB user space lets Wine's start-up reserve the
    # rest in a few calls instead of tens of thousands. Without qemu, nothing reads it.
    export QEMU_RESERVED_VA=0x81000000
}

# ensure_wine_prefix : makes the prefix once. Where 32-bit code runs under qemu, one of Wine's
# own helper programs may crash or hang while the prefix is made; the prefix is complete once
# its registry is written, so whatever still runs after that is ended.
ensure_wine_prefix() {
    [ -e "$WINEPREFIX/.ready" ] && return 0
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    echo "creating the Wine prefix $WINEPREFIX" >&2
    timeout 900 wine wineboot --init >"$WINEPREFIX.log" 2>&1 </dev/null || true
    wineserver --kill || true
    if [ ! -s "$WINEPREFIX/system.reg" ]; then
        echo "could not create the Wine prefix $WINEPREFIX; see $WINEPREFIX.log" >&2
        return 1
    fi
    touch "$WINEPREFIX/.ready"
}
