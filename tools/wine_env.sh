# shellcheck shell=bash
# The Windows builds and Wine, for the scripts that run our Windows programs (sourced).
#   cross_build ARCH DIR     configures and builds the sources ($top) in DIR for ARCH, win32 (i686) or
#                            win64 (x86_64), warnings as errors like every build
#   wine_runs ARCH           true when this machine can run ARCH's programs under Wine (win32 needs
#                            a kernel that runs 32-bit x86 programs)
#   wine_start ARCH WORK     inside the caller's private network namespace: a fresh prefix in
#                            WORK/prefix and its wineserver, started here; sets WINE, the loader to
#                            run programs with ("$WINE" prog.exe ARGS). Exits 1 when the server is
#                            not this namespace's own, or when Wine fails to make the prefix.
#   wine_stop                kills the server and every program of the prefix
#   hide_wine32              in a mount namespace of the caller's own: makes a 64-bit Wine run as
#                            on a kernel without 32-bit programs (no 32-bit loader to fall back on)
# Wine does its socket calls in its server, which programs find by prefix, not by namespace: a run
# reaching a server started elsewhere would send from that server's network. So every prefix is new
# (never shared) and its server is started inside the private namespace before any Wine program.

WINE_BOOT_LIMIT_S=300   # making a prefix: about 10 s on a quiet machine, far more on a busy one

cross_build() {
    local arch=$1 dir=$2 toolchain
    : "${top:?the caller sets top, the source tree}"
    case $arch in
    win32) toolchain=mingw-i686.cmake ;;
    win64) toolchain=mingw-x86_64.cmake ;;
    *) echo "cross_build: unknown ARCH '$arch'" >&2; return 1 ;;
    esac
    cmake -S "$top" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain" >/dev/null
    cmake --build "$dir" -j "$(nproc)" >/dev/null
}

wine_runs() {
    case $1 in
    win32) [ -x /usr/lib/wine/wine ] && /lib/ld-linux.so.2 --help >/dev/null 2>&1 ;;
    win64) [ -x /usr/lib/wine/wine64 ] ;;
    *) return 1 ;;
    esac
}

hide_wine32() {
    local empty
    empty=$(mktemp /tmp/no-wine32.XXXXXX)
    [ ! -e /usr/lib/wine/wine ] || mount --bind "$empty" /usr/lib/wine/wine
    [ ! -e /lib/ld-linux.so.2 ] || mount --bind "$empty" /lib/ld-linux.so.2
    rm -f "$empty"   # the mounts keep it
}

wine_start() {
    local arch=$1 work=$2 server
    # Debian's Wine puts the server's directory in TMPDIR: in the work directory, it goes with it.
    export WINEPREFIX="$work/prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        TMPDIR="$work/tmp"
    unset DISPLAY WAYLAND_DISPLAY
    mkdir -p "$WINEPREFIX" "$TMPDIR"
    if [ "$arch" = win64 ]; then
        WINE=/usr/lib/wine/wine64
        export WINELOADER=$WINE
        server=/usr/lib/wine/wineserver64
    else
        WINE=/usr/lib/wine/wine
        server=/usr/lib/wine/wineserver32
    fi
    WINE_SERVER=$server
    "$server" -f -p &
    WINE_SERVER_PID=$!
    # It listens (a socket among its files) only once it holds the prefix's lock; it exits instead
    # when another server holds it. Go on only with this server, listening, in this namespace.
    local listening="" _
    for _ in $(seq 300); do
        kill -0 "$WINE_SERVER_PID" 2>/dev/null || break
        if find "/proc/$WINE_SERVER_PID/fd" -lname 'socket:*' 2>/dev/null | grep -q .; then
            listening=yes
            break
        fi
        sleep 0.1
    done
    if [ -z "$listening" ] || [ "$(readlink "/proc/$WINE_SERVER_PID/ns/net")" != "$(readlink /proc/self/ns/net)" ]; then
        echo "wine: the prefix's wineserver is not this namespace's own" >&2
        exit 1
    fi
    if ! timeout "$WINE_BOOT_LIMIT_S" "$WINE" wineboot --init >/dev/null 2>&1; then
        echo "wine: no prefix made within $WINE_BOOT_LIMIT_S s ($arch)" >&2
        exit 1
    fi
}

wine_stop() {
    [ -n "${WINE_SERVER_PID:-}" ] || return 0
    "$WINE_SERVER" -k 2>/dev/null || true
    wait "$WINE_SERVER_PID" 2>/dev/null || true
    WINE_SERVER_PID=""
}
