#!/bin/bash
# Builds the program and starts it under Wine, in a prefix of its own
# (build/run-prefix) holding a small set of sample plug-ins. With a display
# the window opens there; without one it runs on a private Xvfb and a
# screenshot is saved in the build folder (build/screenshot.png), so the
# checkout stays as it was.
#
#   scripts/run.sh [--dpi N] [--update-docs]
#
# --dpi N sets the prefix's display to N DPI (96 unless given; 144 is
# 150 %); the screenshot is then build/screenshot-Ndpi.png.
# --update-docs also copies the screenshot into docs/, where the README
# shows it.
set -euo pipefail
cd "$(dirname "$0")/.."

dpi=96
update_docs=0
while [ $# -gt 0 ]; do
    case "$1" in
        --dpi) dpi="$2"; shift 2 ;;
        --update-docs) update_docs=1; shift ;;
        *) echo "usage: $0 [--dpi N] [--update-docs]" >&2; exit 2 ;;
    esac
done
case "$dpi" in
    ''|*[!0-9]*) echo "run: --dpi takes a number" >&2; exit 2 ;;
esac
shot_name=screenshot.png
[ "$dpi" -eq 96 ] || shot_name="screenshot-${dpi}dpi.png"
bash scripts/install-deps.sh --run

cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j"$(nproc 2>/dev/null || echo 2)" --target ManagePlugins test_dlls

prefix="$PWD/build/run-prefix"
program=build/win64/ManagePlugins.exe

# The samples' DLLs that are meant to exist (one filter's is missing on purpose).
plugins="$prefix/drive_c/Program Files/Acme Audio"
mkdir -p "$plugins/VS3"
# Small real DLLs with version resources, so that Version and Company show;
# Chorus is a 32-bit plug-in (its saved copy is in the 32-bit store).
for dll in RoomReverb.dll ParaEQ.dll VS3/Widener.dll; do
    cp build/win64/test-dlls/x64_translated.dll "$plugins/$dll"
done
cp build/win64/test-dlls/x86_plain.dll "$plugins/Chorus.dll"
# The per-user sample's DLL, where a per-user installer puts it.
mkdir -p "$prefix/drive_c/users/Public/Home Delay"
cp build/win64/test-dlls/x64_translated.dll "$prefix/drive_c/users/Public/Home Delay/Delay.dll"

# Wine's own fonts (Tahoma, Marlett for the frame buttons) where programs in
# the prefix find them.
if [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp -u /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
fi

# Wine draws the window frame itself inside a virtual desktop, which the
# screenshot needs (Xvfb has no window manager); on a real display the
# user's window manager does it. The desktop leaves the same room around
# the window at any scale.
desktop_width=$((640 * dpi / 96))
desktop_height=$((540 * dpi / 96))
desktop_reg="$PWD/build/run-desktop.reg"
{
    echo 'Windows Registry Editor Version 5.00'
    echo
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
    printf '"LogPixels"=dword:%08x\n' "$dpi"
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
    if [ -n "${DISPLAY:-}" ]; then
        echo '"Desktop"=-'
    else
        echo '"Desktop"="Default"'
        echo
        echo '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
        echo "\"Default\"=\"${desktop_width}x${desktop_height}\""
    fi
} >"$desktop_reg"

# Seeding happens in a pass of its own: Wine reads the desktop setting when
# the prefix starts up, before a seed of the same pass is imported.
tests/wine-run.sh --seed resources/samples.reg --seed "$desktop_reg" \
    --keep-prefix "$prefix" cmd /c exit 0 >/dev/null

if [ -n "${DISPLAY:-}" ]; then
    exec tests/wine-run.sh --keep-prefix "$prefix" "$program"
fi

fifo=$(mktemp -u "${TMPDIR:-/tmp}/mp-run.XXXXXX")
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "$((desktop_width + 160))x$((desktop_height + 60))x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 display_number <"$fifo" || true
rm -f "$fifo"
cleanup() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${display_number:-}" ]; then
    echo "run: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$display_number"

tests/wine-run.sh --keep-prefix "$prefix" "$program" &
run_pid=$!

# Wine's desktop window, once the program's window is on it.
desktop=""
for _ in $(seq 1 240); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Manage Plug-ins": ('; then
        desktop=$(xwininfo -root -tree | awk '/"Default - Wine desktop": \(/ {print $1; exit}')
        break
    fi
    sleep 0.5
done
if [ -z "$desktop" ]; then
    echo "run: the window did not appear" >&2
    kill "$run_pid" 2>/dev/null || true
    exit 1
fi
sleep 2 # the first refresh runs once the window is up
# The window sits in the desktop's top-left corner: cut away the desktop
# around it, whose colour the bottom-right corner shows.
shot="$PWD/build/run-desktop.png"
import -window "$desktop" "$shot"
corner=$(identify -format '%[fx:w-1],%[fx:h-1]' "$shot")
background=$(convert "$shot" -format "%[pixel:p{$corner}]" info:)
convert "$shot" -bordercolor "$background" -border 1 -trim +repage "build/$shot_name"
echo "run: screenshot saved to build/$shot_name"
if [ "$update_docs" -eq 1 ]; then
    cp "build/$shot_name" "docs/$shot_name"
    echo "run: and copied to docs/$shot_name"
fi

# Close it the way a user would: WM_CLOSE to its window.
wine_loader=/usr/lib/wine/wine64
[ -x "$wine_loader" ] || wine_loader=$(command -v wine64 || command -v wine)
WINEPREFIX="$prefix" WINEDEBUG=-all "$wine_loader" taskkill /IM ManagePlugins.exe >/dev/null
rc=0
wait "$run_pid" || rc=$?
echo "run: ManagePlugins.exe ended with exit code $rc"
exit "$rc"
