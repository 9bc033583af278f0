#!/usr/bin/env bash
# Installs the win32 package with Wine's msiexec, quietly, in a Wine prefix
# of its own: the programs are under Program Files, the Start-menu shortcut
# and the Add/Remove Programs entry with its icon exist, and the installed
# kandu.exe opens its window and ends with exit code 0 when it is closed.
# With KANDU_WINE_QEMU=1 the 32-bit program runs under qemu.
# Removing the package leaves none of it behind.
#   msi_install_test.sh RELEASE_DIR WINE_PREFIX
set -uo pipefail
msi=$(ls "$1"/kandu-*-win32.msi)
export KANDU_WINEPREFIX=$2
. "$(dirname "$0")/../../tools/wine-env.sh"
kandu_wine_qemu "$0" "$@"
property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F '\t' -v name="$1" '$1 == name { print $2 }'; }
version=$(property ProductVersion)
product=$(property ProductCode)
drive=$WINEPREFIX/drive_c
folder="$drive/Program Files (x86)/Kandu"
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
status=0
failed() {
    echo "FAIL: $*" >&2
    status=1
}
# Per-machine shortcuts land in the common Start menu; Wine, a single user,
# may put them in the user's.
shortcuts() {
    find "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs" \
        "$drive"/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs \
        -maxdepth 1 -name 'Kandu.lnk' 2>/dev/null
}
leftovers() {
    [ ! -e "$folder" ] || echo "$folder"
    [ ! -e "$drive/windows/Installer/$product" ] || echo "the cached icon"
    shortcuts
    ! wine reg query "$arp" /reg:32 >/dev/null 2>&1 || echo "the entry $arp"
}

KANDU_XVFB_PID=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$KANDU_XVFB_PID" ] || kill "$KANDU_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || kandu_start_xvfb || exit 1
# A run that failed half-way may have left its install: start afresh then.
if [ -d "$WINEPREFIX" ] && [ -n "$(leftovers)" ]; then
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
fi
kandu_wine_prefix || exit 1
windows_msi=$(winepath -w "$msi" 2>/dev/null)

wine msiexec /i "$windows_msi" /qn >/dev/null 2>&1 || failed "msiexec /i ended with $?"
for file in kandu.exe kandu-calc.exe README.txt; do
    [ -f "$folder/$file" ] || failed "$file is not in Program Files (x86)\\Kandu"
done
[ -n "$(shortcuts)" ] && grep -qa 'kandu\.exe' "$(shortcuts | head -n1)" ||
    failed "no Start-menu shortcut \"Kandu\" to kandu.exe"
entry=$(wine reg query "$arp" /reg:32 2>/dev/null | tr -d '\r')
for value in "DisplayName +REG_SZ +Kandu" "DisplayVersion +REG_SZ +$version" "Publisher +REG_SZ +Corvane"; do
    grep -Eq "^ +$value\$" <<<"$entry" || failed "the Add/Remove Programs entry lacks $value"
done
[ -f "$drive/windows/Installer/$product/kandu.ico" ] &&
    wine reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null |
    grep -q "ProductIcon.*$product.kandu\.ico" || failed "the entry has no icon"

# The installed program, started as from the shortcut and closed as a user
# closes it: Alt+F4 on its window. (Under qemu no Windows tool sees the 32-bit
# process, so nothing could end it from outside.) A press before the window
# takes keys is lost; it is pressed again until the program ends.
wine 'C:\Program Files (x86)\Kandu\kandu.exe' >/dev/null 2>&1 &
program=$!
if window=$(timeout 120 xdotool search --sync --name '^Corvane - KANDU$' 2>/dev/null | head -n 1) &&
    [ -n "$window" ]; then
    for _ in $(seq 1 20); do
        timeout 10 xdotool windowfocus --sync "$window" key --clearmodifiers alt+F4 >/dev/null 2>&1
        for _ in $(seq 1 50); do
            kill -0 $program 2>/dev/null || break 2
            sleep 0.1
        done
    done
else
    failed "the installed kandu.exe opened no window"
fi
if kill -0 $program 2>/dev/null; then
    failed "the installed kandu.exe did not end"
    kill $program
else
    wait $program
    code=$?
    [ $code -eq 0 ] || failed "the installed kandu.exe ended with exit code $code"
fi

wine msiexec /x "$windows_msi" /qn >/dev/null 2>&1 || failed "msiexec /x ended with $?"
left=$(leftovers)
[ -z "$left" ] || failed "the removal left behind: ${left//$'\n'/, }"
[ $status -eq 0 ] && echo "$(basename "$msi") installed, ran, and was removed without a trace"
exit $status
