# Wine's settings for the Windows tests and the package checks, the throwaway prefix they run
# in, and the Wine session the tests share. Sourced by wine-run and check-packages.
#
# Every step here that waits is bounded: a Wine process that hangs (as one can where 32-bit code
# runs under qemu) becomes a failure that names the step, within minutes.

# use_wine_prefix PREFIX : runs every later wine command of the script in PREFIX (an absolute
# path), with the same settings wherever it runs.
use_wine_prefix() {
    export WINEPREFIX=$1
    export WINEARCH=win32
    export WINEDEBUG=-all
    # No Mono or Gecko: their installers would ask on first start, and nothing here needs them.
    # No menu builder: it would copy shortcuts made in the prefix into this machine's own menus.
    # No debugger: a Wine program that crashes (as one now and then does under qemu) ends at
    # once instead of waiting in winedbg, which may never end under qemu.
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
    # The same ANSI code page (1252) and messages wherever the tests run.
    export LC_ALL=C.UTF-8
    # Read only by qemu-i386, which runs 32-bit programs on machines whose kernel cannot: a
    # guest address space just above Wine's 2 GiB user space lets Wine's start-up reserve the
    # rest in a few calls instead of tens of thousands. Without qemu, nothing reads it.
    export QEMU_RESERVED_VA=0x81000000
    wine_session_file=$WINEPREFIX.session
    wine_log=$WINEPREFIX.log
}

wine_fail() {
    echo "wine: $*; see $wine_log" >&2
    return 1
}

# wine_note TEXT : a line in the prefix's log, with the time it was written.
wine_note() {
    echo "$(date +%T) $*" >>"$wine_log"
}

# wait_for_wine_server SECONDS : waits until no Wine server runs for the prefix; fails after
# SECONDS, when whatever is left is killed.
wait_for_wine_server() {
    if timeout "$1" wineserver --wait >>"$wine_log" 2>&1 </dev/null; then
        return 0
    fi
    wineserver --kill=9 >>"$wine_log" 2>&1 </dev/null || true
    return 1
}

# ensure_wine_prefix : makes the prefix once, and returns only when every program that making
# it started has ended. Where 32-bit code runs under qemu one of Wine's helper programs may
# crash or hang meanwhile; the prefix is complete once its registry is written, so a helper
# still running after that is ended.
ensure_wine_prefix() {
    [ -e "$WINEPREFIX/.ready" ] && return 0
    stop_wine_session
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    echo "creating the Wine prefix $WINEPREFIX" >&2
    : >"$wine_log"
    wine_note "making the prefix"
    timeout 600 wine wineboot --init >>"$wine_log" 2>&1 </dev/null ||
        wine_note "wineboot --init did not end by itself within 600 s"
    wine_note "wineboot --init ended; waiting for its programs"
    wait_for_wine_server 120 || wine_note "Wine's programs were still running after 120 s"
    wine_note "the prefix is made"
    [ -s "$WINEPREFIX/system.reg" ] || wine_fail "could not create the Wine prefix $WINEPREFIX"
    touch "$WINEPREFIX/.ready"
}

# wine_server_alive : succeeds while the session's Wine server runs.
wine_server_alive() {
    [ -n "${wine_server_pid:-}" ] && kill -0 "$wine_server_pid" 2>/dev/null &&
        grep -qa wineserver "/proc/$wine_server_pid/cmdline" 2>/dev/null
}

# load_wine_session : sets wine_server_pid and DISPLAY from a running session of the prefix,
# and succeeds when there is one.
load_wine_session() {
    wine_server_pid="" wine_display="" wine_xvfb_pid=""
    [ -f "$wine_session_file" ] || return 1
    source "$wine_session_file"
    wine_server_alive || return 1
    export DISPLAY=$wine_display
}

# start_wine_session : starts a Wine session for the prefix that lasts until stop_wine_session:
# one Wine server, kept running between programs, with Wine's own services already up, so that
# each test program starts quickly and a server never stops or starts while a test runs. The
# session gets a private X server when there is no DISPLAY. Every process of the session writes
# to the prefix's log, never to the output of the program that happens to start it.
start_wine_session() {
    ensure_wine_prefix || return 1
    load_wine_session && return 0
    stop_wine_session
    wine_xvfb_pid=""
    if [ -z "${DISPLAY:-}" ]; then
        local display_file
        display_file=$(mktemp)
        setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" \
            </dev/null >>"$wine_log" 2>&1 &
        wine_xvfb_pid=$!
        local deadline=$((SECONDS + 30))
        until [ -s "$display_file" ]; do
            [ $SECONDS -lt $deadline ] || { rm -f "$display_file"; wine_fail "Xvfb did not start within 30 s"; return 1; }
            sleep 0.1
        done
        export DISPLAY=:$(head -n 1 "$display_file")
        rm -f "$display_file"
    fi
    # In the foreground (-f) as a child of its own, so that its process id is known; persistent
    # (-p) until stop_wine_session.
    setsid wineserver -f -p </dev/null >>"$wine_log" 2>&1 &
    wine_server_pid=$!
    printf 'wine_server_pid=%s\nwine_display=%q\nwine_xvfb_pid=%s\n' \
        "$wine_server_pid" "$DISPLAY" "$wine_xvfb_pid" >"$wine_session_file"
    # The server holds its lock once it is ready for clients.
    local deadline=$((SECONDS + 60))
    until awk -v pid="$wine_server_pid" '$5 == pid { found = 1 } END { exit !found }' /proc/locks; do
        if ! wine_server_alive || [ $SECONDS -ge $deadline ]; then
            wine_fail "the Wine server did not start within 60 s"
            stop_wine_session
            return 1
        fi
        sleep 0.2
    done
    # Wine's services (and under qemu their slow first start) before the first test.
    wine_note "the server runs; starting Wine's services"
    if ! timeout 300 wine wineboot </dev/null >>"$wine_log" 2>&1; then
        wine_fail "Wine's services did not start within 300 s"
        stop_wine_session
        return 1
    fi
    wine_note "the session is ready"
}

# stop_wine_session : ends every Wine process of the prefix, its server and the session's own X
# server; bounded, and safe to call when no session runs.
stop_wine_session() {
    wine_server_pid="" wine_xvfb_pid=""
    [ -f "$wine_session_file" ] && source "$wine_session_file"
    wineserver --kill >>"$wine_log" 2>&1 </dev/null || true
    wait_for_wine_server 60 || true
    if wine_server_alive; then
        kill -9 "$wine_server_pid" 2>/dev/null || true
    fi
    if [ -n "${wine_xvfb_pid:-}" ]; then
        kill "$wine_xvfb_pid" 2>/dev/null || true
    fi
    rm -f "$wine_session_file"
}
