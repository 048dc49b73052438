# Shared by the project's scripts: Debian packages, the private X display and the private
# Wine prefix. Source it; it defines functions and sets nothing else.

revertly_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# Installs the Debian packages that are missing (CI and fresh machines run as root).
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The environment every Wine process of the project runs in: a private prefix inside the
# build folder, no Mono/Gecko prompts, no menu entries written into $HOME, and a UTF-8
# locale so that non-ASCII Windows file names map onto Unix ones.
wine_env() {
    local root
    root=$(revertly_root)
    export WINEPREFIX="${REVERTLY_WINEPREFIX:-$root/build/wine/prefix}"
    export HOME="${REVERTLY_WINEHOME:-$root/build/wine/home}"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
    export LC_ALL=C.UTF-8
    mkdir -p "$HOME" "$(dirname "$WINEPREFIX")"
}

# Creates the prefix once (about 7 s). Without Managed=N, on an X server with no window
# manager every hide of a top-level window costs Wine two seconds.
wine_prefix_ready() {
    wine_env
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.revertly-ready" ]; then
            rm -rf "$WINEPREFIX"
            wineboot -i >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.revertly-ready"
        fi
        wine_prefix_dpi
    ) 9>"$(dirname "$WINEPREFIX")/.lock"
}

# A prefix of its own may be given another scale (REVERTLY_WINE_DPI: 144 is 150 %). Checked
# at every start of such a prefix, not only when it is made: a scale that did not reach the
# registry would make a test at that scale run at 96 DPI and fail for a reason it cannot
# name. Read from the saved registry, so only while no Wine server runs for the prefix.
# Fails, saying what the registry holds, when the value does not stick.
wine_prefix_dpi() {
    [ -n "${REVERTLY_WINE_DPI:-}" ] || return 0
    local wanted
    wanted=$(printf 'dword:%08x' "$REVERTLY_WINE_DPI")
    [ "$(saved_logpixels)" = "$wanted" ] && return 0
    local answer
    answer=$(wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$REVERTLY_WINE_DPI" /f 2>&1)
    wineserver -w
    if [ "$(saved_logpixels)" != "$wanted" ]; then
        echo "The prefix $WINEPREFIX does not keep LogPixels $wanted:" \
            "it holds '$(saved_logpixels)'. reg add said: $answer" >&2
        return 1
    fi
}

# HKCU\Control Panel\Desktop\LogPixels as the prefix's saved registry holds it (dword:00000090).
saved_logpixels() {
    awk '/^\[/ { inside = ($0 ~ /^\[Control Panel\\\\Desktop\]/) }
         inside && /^"LogPixels"=/ { sub(/^"LogPixels"=/, ""); print; exit }' \
        "$WINEPREFIX/user.reg" 2>/dev/null
}

# Makes a folder tree deletable again after the package tests made a folder in it refuse
# new files (chattr +i as root, Unix permissions otherwise); a run killed midway leaves that.
unlock_tree() {
    [ -e "$1" ] || return 0
    [ "$(id -u)" -eq 0 ] && chattr -R -i "$1" 2>/dev/null
    chmod -R u+w "$1" 2>/dev/null
    return 0
}

# Starts a private Xvfb on a free display and exports DISPLAY; XVFB_PID names it.
start_xvfb() {
    local displayfile
    displayfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    local waited=0
    while [ ! -s "$displayfile" ] && [ $waited -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    [ -s "$displayfile" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$displayfile")"
    rm -f "$displayfile"
}

stop_xvfb() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
}

# A private display and a warm Wine server for a run of several Wine programs. The server
# stays alive for the run (a cold Wine start costs most of a second), and Wine's own
# background processes are started here with their output going nowhere: started by a
# later program, they would inherit its output pipe and keep a reader such as ctest
# waiting for ever. Pair with stop_wine_session (a trap on EXIT).
start_wine_session() {
    start_xvfb || return 1
    wine_prefix_ready || return 1
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
    start_wine_desktop
}

# Wine's desktop process (explorer.exe /desktop) starts when a program first needs the
# desktop and ends about a second after the last one has gone. Every time it starts, its X11
# clipboard bridge empties the clipboard a moment later, when it takes the clipboard over, and
# a test that has just put text there loses it. wine_desktop.exe (built with the Windows
# tests; REVERTLY_WINE_DESKTOP names another copy) starts the desktop now, answers once the
# bridge has taken the clipboard over, and keeps the desktop alive until the server ends.
start_wine_desktop() {
    local build="${REVERTLY_BUILD_DIR:-$(revertly_root)/build/windows}"
    local keeper="${REVERTLY_WINE_DESKTOP:-$build/tests/wine_desktop.exe}"
    if [ ! -f "$keeper" ]; then
        echo "$keeper is missing: build the Windows tests first" >&2
        return 1
    fi
    local answer
    answer=$(mktemp)
    wine "$keeper" </dev/null >"$answer" 2>/dev/null &
    local keeper_pid=$!
    local waited=0
    until grep -q ready "$answer"; do
        if [ $waited -ge 600 ] || ! kill -0 "$keeper_pid" 2>/dev/null; then
            echo "Wine's desktop did not start" >&2
            rm -f "$answer"
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    rm -f "$answer"
}

stop_wine_session() {
    wine_env
    wineserver -k 2>/dev/null
    stop_xvfb
}
