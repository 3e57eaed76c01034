# shellcheck shell=bash
# The Debian packages this project needs, in one place; sourced by tools/demo.sh, tools/test.sh,
# tools/wine_check.sh and .ci/run.
#   BUILD_PACKAGES  building and testing on Linux: what the README's two commands need (nettle
#                   for SHA-256; node and npm for the page's tests, which take axe-core from npm;
#                   CJK fonts for its screenshots; slowhttptest and apache2-utils' ab for the web
#                   server's e2e tests and benchmark; poppler-utils to read the handover report's
#                   PDF back)
#   WINE_PACKAGES   tools/wine_check.sh: also the 32- and 64-bit Windows cross-builds, Wine for
#                   both, groff for the Windows package's manual pages, file and unzip for the
#                   checks, curl for the web program's calls
#   WINE32_PACKAGES among them, the 32-bit Wine: it comes from the i386 architecture, and runs
#                   only where the kernel runs 32-bit programs
#   CI_PACKAGES     everything .ci/run uses: also clang with libFuzzer, the static checks, cpack
BUILD_PACKAGES=(cmake g++ make libgtest-dev nlohmann-json3-dev libboost-dev nettle-dev iproute2 util-linux hostname
    chromium chromium-driver python3-selenium socat nodejs npm fonts-noto-cjk
    slowhttptest apache2-utils poppler-utils)
WINE32_PACKAGES=(wine32:i386)
WINE_PACKAGES=("${BUILD_PACKAGES[@]}" g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine "${WINE32_PACKAGES[@]}" wine64
    groff-base file unzip curl)
# shellcheck disable=SC2034 # used by .ci/run
CI_PACKAGES=("${WINE_PACKAGES[@]}" git
    clang libclang-rt-14-dev clang-tidy clang-format cppcheck
    dpkg-dev file man-db)

# missing_packages PACKAGE...: prints those of them that are not installed, one a line.
missing_packages() {
    local pkg
    for pkg in "$@"; do
        # A nodejs from elsewhere than Debian carries its own npm, and Debian's conflicts with it.
        [ "$pkg" = npm ] && command -v npm >/dev/null && continue
        [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ] || echo "$pkg"
    done
}

# ensure_packages NAME PACKAGE...: returns when all are installed. Otherwise, as anyone but root,
# prints the commands that would install them and exits 1. As root, installs them in two steps:
# first the packages of this machine's own architecture, then those of a foreign one (PACKAGE:ARCH,
# the architecture added first when it is not yet). A mirror halfway through a sync fails
# apt-get update, or an install, for a while: each is tried three times, PACKAGES_RETRY_S seconds
# apart (60 by default), a retried install refreshing the package lists first. An update that
# still fails is said and the installs go on with the lists as they are. An install of the first
# step that still fails exits 1; one of the second step is said in a WARNING line and returns all
# the same, the packages added to PACKAGES_UNAVAILABLE (exported: the scripts started later in
# the same run do not try them again). The caller checks the foreign packages it needs itself.
ensure_packages() {
    local who=$1 pkg native=() foreign=() add_archs=() arch
    shift
    while IFS= read -r pkg; do
        case $pkg in
        *:*)
            if [[ " ${PACKAGES_UNAVAILABLE:-} " == *" $pkg "* ]]; then
                echo "$who: not trying $pkg again: it could not be installed earlier in this run" >&2
                continue
            fi
            foreign+=("$pkg")
            arch=${pkg##*:}
            dpkg --print-foreign-architectures | grep -qx "$arch" || [[ " ${add_archs[*]} " == *" $arch "* ]] ||
                add_archs+=("$arch")
            ;;
        *) native+=("$pkg") ;;
        esac
    done < <(missing_packages "$@")
    [ ${#native[@]} -gt 0 ] || [ ${#foreign[@]} -gt 0 ] || return 0
    if [ "$(id -u)" != 0 ]; then
        echo "$who: missing packages; as root, run:" >&2
        [ ${#native[@]} = 0 ] || echo "  apt-get install --no-install-recommends ${native[*]}" >&2
        if [ ${#foreign[@]} -gt 0 ]; then
            local add=""
            for arch in "${add_archs[@]}"; do add+="dpkg --add-architecture $arch && "; done
            [ ${#add_archs[@]} = 0 ] || add+="apt-get update && "
            echo "  ${add}apt-get install --no-install-recommends ${foreign[*]}" >&2
        fi
        exit 1
    fi
    local all=("${native[@]}" "${foreign[@]}")
    echo "$who: installing ${all[*]}" >&2
    for arch in "${add_archs[@]}"; do dpkg --add-architecture "$arch"; done
    local try
    for try in 1 2 3; do
        apt-get update -qq && break
        if [ "$try" = 3 ]; then
            echo "$who: WARNING: apt-get update failed 3 times; installing with the package lists as they are" >&2
        else
            packages_pause "$who" "apt-get update" "$try"
        fi
    done
    if [ ${#native[@]} -gt 0 ] && ! packages_install "$who" "${native[@]}"; then
        echo "$who: FAILED: could not install ${native[*]} (3 tries)" >&2
        exit 1
    fi
    if [ ${#foreign[@]} -gt 0 ] && ! packages_install "$who" "${foreign[@]}"; then
        echo "$who: WARNING: could not install ${foreign[*]} (3 tries); going on without them" >&2
        export PACKAGES_UNAVAILABLE="${PACKAGES_UNAVAILABLE:+$PACKAGES_UNAVAILABLE }${foreign[*]}"
    fi
    return 0
}

# packages_install NAME PACKAGE...: installs them, three tries; a retry refreshes the lists first
# (once: an update that fails again is let be), as a mirror that was mid-sync may be whole again.
packages_install() {
    local who=$1 try
    shift
    for try in 1 2 3; do
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
        [ "$try" != 3 ] || return 1
        packages_pause "$who" "apt-get install $*" "$try"
        apt-get update -qq || true
    done
}

# packages_pause NAME WHAT TRY: says that try TRY of WHAT failed, then waits PACKAGES_RETRY_S s.
packages_pause() {
    local wait=${PACKAGES_RETRY_S:-60}
    echo "$1: $2 failed (try $3 of 3); trying again in $wait s" >&2
    sleep "$wait"
}
