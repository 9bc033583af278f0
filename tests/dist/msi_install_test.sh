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

# ---- upgrade, refused downgrade, same version again ----
# A newer release replaces the installed one, the older package refuses to go
# back over it, and the newer one again changes nothing; the removal below is
# then the newer one's. The newer release is this tree with the release
# number raised, built in a scratch copy; its programs' version records are
# raised with it.
release=$(basename "$msi" -win32.msi)
release=${release#kandu-}
newer=${release%.*}.$((${release##*.} + 1))
# It lives beside the Wine prefix until the next run.
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$WINEPREFIX-newer
rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$root" && git ls-files -z -co --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$scratch"
sed -i "s/^project(kandu VERSION $release /project(kandu VERSION $newer /" "$scratch/CMakeLists.txt"
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s) \
    "$scratch/tools/dist.sh" "$scratch/out" >/dev/null 2>&1 || failed "could not build release $newer"
newer_msi=$scratch/out/kandu-$newer-win32.msi
unzip -q "$scratch/out/kandu-$newer-win32.zip" -d "$scratch/unpacked" 2>/dev/null
newer_product=$(msi=$newer_msi property ProductCode)
newer_arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$newer_product"
# The newer release's files and "Apps" entry, and nothing of the older one.
newer_installed() {
    local file
    for file in kandu.exe kandu-calc.exe README.txt; do
        cmp -s "$folder/$file" "$scratch/unpacked/$file" ||
            failed "$1: the installed $file is not release $newer's"
    done
    wine reg query "$newer_arp" /reg:32 2>/dev/null | tr -d '\r' |
        grep -Eq "^ +DisplayVersion +REG_SZ +$(msi=$newer_msi property ProductVersion)\$" ||
        failed "$1: no Add/Remove Programs entry of release $newer"
    ! wine reg query "$arp" /reg:32 >/dev/null 2>&1 || failed "$1: release $release's entry is still there"
    [ ! -e "$drive/windows/Installer/$product" ] || failed "$1: release $release's cached icon is left"
}
if [ -f "$newer_msi" ]; then
    newer_windows_msi=$(winepath -w "$newer_msi" 2>/dev/null)
    wine msiexec /i "$newer_windows_msi" /qn >/dev/null 2>&1 ||
        failed "the upgrade to $newer ended with $?"
    newer_installed "upgrade"
    # Refused by the launch condition that the downgrade row sets off; its
    # message is what a user sees.
    log=$drive/kandu-downgrade.log
    wine msiexec /i "$windows_msi" /qn /l*v 'C:\kandu-downgrade.log' >/dev/null 2>&1 &&
        failed "release $release installed over release $newer"
    grep -q "^Property(S): WIX_DOWNGRADE_DETECTED = $newer_product" "$log" &&
        grep -q "LaunchConditions. Return value 0" "$log" ||
        failed "release $release was not refused by its launch condition"
    msiinfo export "$msi" LaunchCondition | tr -d '\r' |
        grep -qx $'NOT WIX_DOWNGRADE_DETECTED\tA newer version of Kandu is already installed.' ||
        failed "the launch condition's message is not the one for a newer version"
    newer_installed "refused downgrade"
    wine msiexec /i "$newer_windows_msi" /qn >/dev/null 2>&1 ||
        failed "installing release $newer again ended with $?"
    newer_installed "the same release again"
    [ $status -eq 0 ] && echo "release $newer replaced $release, and $release refused to replace it"
    # The removal below is the newer release's.
    windows_msi=$newer_windows_msi
    product=$newer_product
    arp=$newer_arp
fi

wine msiexec /x "$windows_msi" /qn >/dev/null 2>&1 || failed "msiexec /x ended with $?"
left=$(leftovers)
[ -z "$left" ] || failed "the removal left behind: ${left//$'\n'/, }"
[ $status -eq 0 ] && echo "$(basename "$msi") installed, ran, and was removed without a trace"
exit $status
