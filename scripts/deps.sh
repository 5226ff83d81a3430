# Sourced by test.sh, run.sh and bench.sh: installs the Debian packages whose files are missing.
# Usage: ensure_packages PATH=PACKAGE...   (PATH: a file that the package installs)
ensure_packages() {
    local need=() item
    for item in "$@"; do
        [ -e "${item%%=*}" ] || need+=("${item#*=}")
    done
    if [ ${#need[@]} -gt 0 ]; then
        echo "Installing: ${need[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq "${need[@]}" >/dev/null
    fi
}

# The tools every build needs.
BUILD_PACKAGES=(/usr/bin/cmake=cmake /usr/bin/g++=g++ /usr/bin/make=make)

# The console's toolkit, and a font for its windows when no desktop provides one (offscreen tests).
CONSOLE_PACKAGES=(/usr/lib/qt6/libexec/ensure_pro_file.cmake=qt6-base-dev
    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf=fonts-dejavu-core)
