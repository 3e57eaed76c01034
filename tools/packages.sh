# shellcheck shell=bash
# The Debian packages this project needs, in one place; sourced by tools/demo.sh, tools/test.sh
# and .ci/run.
#   BUILD_PACKAGES  building and testing on Linux: what the README's two commands need (nettle
#                   for SHA-256, poppler-utils to read the handover report's PDF back)
#   WINE_PACKAGES   tools/wine_check.sh: also the 32- and 64-bit Windows cross-builds, Wine for
#                   both (wine32 comes from the i386 architecture, and runs only where the kernel
#                   runs 32-bit programs), groff for the Windows package's manual pages, file and
#                   unzip for the checks, curl for the web program's calls
#   CI_PACKAGES     everything .ci/run uses: also clang with libFuzzer, the static checks, cpack
BUILD_PACKAGES=(cmake g++ make libgtest-dev nlohmann-json3-dev libboost-dev nettle-dev iproute2 util-linux hostname
    chromium chromium-driver python3-selenium socat poppler-utils)
WINE_PACKAGES=("${BUILD_PACKAGES[@]}" g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64
    groff-base file unzip curl)
# shellcheck disable=SC2034 # used by .ci/run
CI_PACKAGES=("${WINE_PACKAGES[@]}" git
    clang libclang-rt-14-dev clang-tidy clang-format cppcheck
    dpkg-dev file man-db)

# ensure_packages NAME PACKAGE...: returns when all are installed. Otherwise, as root, installs
# the missing ones (adding the i386 architecture first when one needs it); as anyone else, prints
# the one command that would and exits 1.
ensure_packages() {
    local who=$1 pkg missing=()
    shift
    for pkg in "$@"; do
        [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ] || missing+=("$pkg")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    local arch=""
    case " ${missing[*]}" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || arch=i386 ;;
    esac
    if [ "$(id -u)" != 0 ]; then
        echo "$who: missing packages; as root, run:" >&2
        if [ -n "$arch" ]; then
            echo "  dpkg --add-architecture i386 && apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
        else
            echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
        fi
        exit 1
    fi
    echo "$who: installing ${missing[*]}" >&2
    [ -z "$arch" ] || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
