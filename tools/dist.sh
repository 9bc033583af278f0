#!/usr/bin/env bash
# Builds the release: kandu-VERSION-win32.zip (the shipped i686 programs) and
# kandu-VERSION-win64.zip, each with kandu.exe, kandu-calc.exe, README.txt and
# SHA256SUMS; the Windows Installer packages kandu-VERSION-win32.msi and
# kandu-VERSION-win64.msi (tools/kandu.wxs); SHA256SUMS of the four beside them.
#   tools/dist.sh [OUTPUT_DIR]        (default build/dist)
#
# KANDU_RELEASE_URL is the address of the page where the release, its
# SHA256SUMS and signatures, and the source are published; README.txt names
# it. Without it, README.txt says that the address is the page the file was
# downloaded from. It is part of the release: rebuilding one byte for byte
# needs the same value.
#
# Reproducible: the same source gives the same bytes in any directory and at
# any time. Archive entries and package times are those of SOURCE_DATE_EPOCH
# (by default the last commit's), with fixed permissions.
#
# OUTPUT_DIR receives only the files to publish; the default build/dist is
# emptied first. The build trees and the folders the archives are packed from
# are in build/dist-work.
#
# Signing (Authenticode, osslsigncode): with KANDU_SIGN_CERT (PEM certificate
# chain) and KANDU_SIGN_KEY (PEM private key) the programs are signed before
# they are packed, and the packages after; the signing time is
# SOURCE_DATE_EPOCH. KANDU_SIGN_TIMESTAMP_URL names the RFC 3161 time-stamp
# server that each signature is stamped by, so that it stays valid after the
# certificate expires; only KANDU_SIGN_TIMESTAMP_URL=none signs without one.
# The time stamp is part of the signature. The detached signatures land in
# OUTPUT_DIR/signatures. With KANDU_SIGNATURES=DIR (such a folder) and no key,
# those signatures are attached instead, which gives the signed release again
# byte for byte. Signing and attaching need osslsigncode 2.9 or later.
# A failure removes every release file from OUTPUT_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/dist}")
work_dir=$root/build/dist-work
fail() {
    echo "dist: $*" >&2
    exit 1
}

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
        fail "not a git checkout; set SOURCE_DATE_EPOCH"
fi
export SOURCE_DATE_EPOCH
# zip and the cabinet inside the packages record local times.
export TZ=UTC
version=$(sed -n 's/^project(kandu VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
# Windows Installer compares only the first three parts of a version, so the
# packages carry the fourth, the release number, in the third: 1.0.0.3
# installs as 1.0.3, and 1.0.1.5 would as 1.0.1005. Only then does a newer
# release replace an older one and never the other way round. The programs'
# own version records keep all four parts.
IFS=. read -r major minor build release <<<"$version"
[[ "$major.$minor.$build.$release" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] &&
    [ "$major" -le 255 ] && [ "$minor" -le 255 ] && [ "$release" -le 999 ] &&
    [ $((build * 1000 + release)) -le 65535 ] ||
    fail "version $version does not fit a package: major and minor up to 255, release up to 999, build * 1000 + release up to 65535"
package_version=$major.$minor.$((build * 1000 + release))
# Goes into README.txt through sed on one line of CRLF text: printable ASCII
# without blanks only, and sed's special characters escaped.
release_url=${KANDU_RELEASE_URL:-}
if [ -n "$release_url" ]; then
    [ "$(printf '%s' "$release_url" | LC_ALL=C tr -d '!-~' | wc -c)" -eq 0 ] ||
        fail "KANDU_RELEASE_URL may hold only printable ASCII characters, no blanks or control characters"
else
    release_url="the page you downloaded this file from"
fi
release_url=$(printf '%s' "$release_url" | sed 's|[\\/&]|\\&|g')
wxs=$root/tools/kandu.wxs
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$wxs")
# olefile is Debian's, installed for the system Python.
python=/usr/bin/python3

release=(SHA256SUMS signatures)
for arch in win32 win64; do
    release+=("kandu-$version-$arch.zip" "kandu-$version-$arch.msi")
done
# Nothing but this release in the default folder, so that all of it can go out.
[ "$out" != "$root/build/dist" ] || rm -rf "$out"
mkdir -p "$out" "$work_dir"
(cd "$out" && rm -rf "${release[@]}")
work=$(mktemp -d)
finish() {
    local status=$?
    rm -rf "$work"
    # Nothing half-made or half-signed stays behind to pass for a release.
    [ $status -eq 0 ] || (cd "$out" && rm -rf "${release[@]}")
}
trap finish EXIT

# What to do with signatures; every input is checked before anything is built.
signing=""
if [ -n "${KANDU_SIGN_CERT:-}${KANDU_SIGN_KEY:-}" ]; then
    [ -n "${KANDU_SIGN_CERT:-}" ] && [ -n "${KANDU_SIGN_KEY:-}" ] ||
        fail "signing needs both KANDU_SIGN_CERT and KANDU_SIGN_KEY"
    [ -z "${KANDU_SIGNATURES:-}" ] ||
        fail "KANDU_SIGNATURES attaches published signatures; unset KANDU_SIGN_CERT and KANDU_SIGN_KEY"
    cert=$(realpath -m "$KANDU_SIGN_CERT")
    key=$(realpath -m "$KANDU_SIGN_KEY")
    [ -f "$cert" ] && [ -r "$cert" ] || fail "cannot read the certificate $cert"
    [ -f "$key" ] && [ -r "$key" ] || fail "cannot read the private key $key"
    cert_public=$(openssl x509 -in "$cert" -noout -pubkey 2>/dev/null) ||
        fail "$cert holds no PEM certificate"
    key_public=$(openssl pkey -in "$key" -passin pass: -pubout 2>/dev/null) ||
        fail "$key holds no PEM private key without a passphrase"
    [ "$cert_public" = "$key_public" ] ||
        fail "the key $key does not match the certificate $cert"
    # Unstamped signatures turn invalid with the certificate: only on request.
    [ -n "${KANDU_SIGN_TIMESTAMP_URL:-}" ] ||
        fail "signing needs an RFC 3161 time-stamp server in KANDU_SIGN_TIMESTAMP_URL (KANDU_SIGN_TIMESTAMP_URL=none signs without one; such signatures expire with the certificate)"
    signing=sign
elif [ -n "${KANDU_SIGNATURES:-}" ]; then
    signatures=$(realpath -m "$KANDU_SIGNATURES")
    [ -d "$signatures" ] && [ -r "$signatures" ] || fail "cannot read the signatures folder $signatures"
    signing=attach
fi
# Debian 12's osslsigncode 2.5 has no extract-data.
if [ -n "$signing" ]; then
    ossl=$(osslsigncode --version 2>&1 | sed -n '1s/^osslsigncode \([0-9.]*\).*/\1/p') || true
    [ -n "$ossl" ] && printf '2.9\n%s\n' "$ossl" | sort -V -C ||
        fail "signing and attaching signatures need osslsigncode 2.9 or later (${ossl:+this is }${ossl:-none found}); on Debian 12 it is in bookworm-backports, which tools/install-deps.sh installs"
fi

# The signed content of a PKCS#7 signature or of osslsigncode's
# extract-data, which holds the file's digest; in hex.
signed_content() {
    local at
    at=$(openssl asn1parse -inform DER -in "$1" 2>/dev/null |
        grep -m1 -B1 ':1.3.6.1.4.1.311.2.1.4$' | head -n1 |
        sed -n 's/^ *\([0-9]*\):d=[0-9]* *hl=\([0-9]*\) *l= *\([0-9]*\) cons: SEQUENCE.*/\1 \2 \3/p')
    [ -n "$at" ] || return 1
    set -- "$1" $at
    od -An -tx1 -v -j "$2" -N $(($3 + $4)) "$1" | tr -d ' \n'
}

# osslsigncode's own line about a failure, past OpenSSL's error stack.
why() {
    grep -v -E '^[0-9A-F]+:error:|^Connecting to' "$1" | grep -m1 . || tail -n1 "$1"
}

# sign FILE NAME: signs FILE in place, or attaches its published signature
# NAME.sig, and keeps the detached signature as OUTPUT_DIR/signatures/NAME.sig.
sign() {
    local file=$1 name=$2 sig=$out/signatures/$2.sig log=$work/osslsigncode.log
    mkdir -p "$(dirname "$sig")"
    rm -f "$work/data" "$work/signed" "$work/sig"
    if [ "$signing" = sign ]; then
        local stamp=()
        [ "$KANDU_SIGN_TIMESTAMP_URL" = none ] || stamp=(-ts "$KANDU_SIGN_TIMESTAMP_URL")
        osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n Kandu \
            -time "$SOURCE_DATE_EPOCH" "${stamp[@]}" -in "$file" -out "$work/signed" \
            >"$log" 2>&1 || fail "could not sign $name: $(why "$log")"
    else
        local published=$signatures/$name.sig
        [ -f "$published" ] && [ -r "$published" ] || fail "cannot read the signature $published"
        osslsigncode extract-data -h sha256 -in "$file" -out "$work/data" >"$log" 2>&1 ||
            fail "could not read $name for its signature"
        local wanted
        wanted=$(signed_content "$work/data") || fail "could not read the digest of $name"
        [ "$(signed_content "$published" || true)" = "$wanted" ] ||
            fail "the signature $published does not fit $name"
        # attach-signature also checks the certificate chain against this
        # machine's trusted roots and may fail on that alone; the fit was
        # checked above, and whether to trust the signer is for the user.
        osslsigncode attach-signature -sigin "$published" -in "$file" -out "$work/signed" \
            >"$log" 2>&1 || true
        [ -s "$work/signed" ] || fail "could not attach $published to $name"
    fi
    osslsigncode extract-signature -in "$work/signed" -out "$work/sig" >"$log" 2>&1 ||
        fail "no signature in the signed $name"
    [ "$signing" = sign ] || cmp -s "$work/sig" "$published" ||
        fail "the signature $published was not attached to $name as it is"
    mv "$work/sig" "$sig"
    mv "$work/signed" "$file"
}

for arch in win32 win64; do
    [ $arch = win32 ] && toolchain=mingw-i686 || toolchain=mingw-x86_64
    tree=$work_dir/tree-$arch
    cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
        -DKANDU_TESTS=OFF -DKANDU_BENCH=OFF >/dev/null
    cmake --build "$tree" --target kandu kandu-calc -- -j2 >/dev/null

    name=kandu-$version-$arch
    stage=$work_dir/$name
    rm -rf "$stage" "$work_dir/$name.msi"
    mkdir -p "$stage"
    cp "$tree/kandu.exe" "$tree/kandu-calc.exe" "$stage/"
    if [ -n "$signing" ]; then
        sign "$stage/kandu.exe" "$name/kandu.exe"
        sign "$stage/kandu-calc.exe" "$name/kandu-calc.exe"
    fi
    # A Windows user opens it in Notepad: CRLF line endings.
    sed -e "s/@VERSION@/$version/g; s/@PACKAGE_VERSION@/$package_version/g; s/@ARCH@/$arch/g" \
        -e "s/@RELEASE_URL@/$release_url/g" -e 's/$/\r/' \
        "$root/docs/windows-readme.txt" >"$stage/README.txt"
    left=$(grep -n -o -m1 '@[A-Za-z_][A-Za-z0-9_]*@' "$stage/README.txt") &&
        fail "README.txt keeps the placeholder ${left#*:} (line ${left%%:*} of docs/windows-readme.txt)"
    (cd "$stage" && sha256sum kandu.exe kandu-calc.exe README.txt >SHA256SUMS)

    zip=$out/$name.zip
    (cd "$stage" && zip -q -X "$zip" README.txt kandu.exe kandu-calc.exe SHA256SUMS)
    # Sorted entries, the commit's time, permissions 644/755, no extra fields.
    strip-nondeterminism -T "$SOURCE_DATE_EPOCH" "$zip"

    # The package. Its product code is fixed for each version and
    # architecture; the cabinet records the files' times.
    [ $arch = win32 ] && msi_arch=x86 || msi_arch=x64
    product_code=$("$python" -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
        "$upgrade_code" "$name")
    touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
    # wixl finds the files relative to the current directory.
    msi=$work_dir/$name.msi
    (cd "$work_dir" && wixl -a $msi_arch -D Arch=$arch -D Version="$version" \
        -D PackageVersion="$package_version" -D ProductCode="$product_code" \
        -D Stage="$name" -D Icon="tree-$arch/app/kandu.ico" -o "$name.msi" "$wxs")
    # The upgrade row takes an installed package of the same version too
    # (1 | 512: migrate features, maximum included), so that the win32 and
    # win64 packages of one release replace each other rather than install
    # side by side. A newer one is refused by the downgrade row and its launch
    # condition, which wixl writes.
    msibuild "$msi" \
        -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
        -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
            VALUES ('{$upgrade_code}', '$package_version', 513, 'WIX_UPGRADE_DETECTED')"
    "$python" "$root/tools/msi-summary.py" "$msi" "$SOURCE_DATE_EPOCH" "$upgrade_code" >/dev/null
    [ -z "$signing" ] || sign "$msi" "$name.msi"
    mv "$msi" "$out/"
done
(cd "$out" && sha256sum kandu-"$version"-win{32,64}.{zip,msi} >SHA256SUMS && cat SHA256SUMS)
