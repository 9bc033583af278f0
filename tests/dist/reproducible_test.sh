#!/usr/bin/env bash
# Two release builds of the same tree, copied into two fresh directories of
# different depth and built one after the other, give byte-identical
# archives and packages; each archive holds its four files and their
# checksums agree. Then the first copy signs its release with a throw-away
# CA's code-signing certificate, every signed file verifies against that CA,
# and the second copy, given only the detached signatures, gives the signed
# release again byte for byte. A signature that does not fit and a key that
# does not match stop the build with one line and leave no release files.
#   reproducible_test.sh SOURCE_TREE [KEEP_DIR]
# KEEP_DIR receives the unsigned release of the first copy.
set -euo pipefail
src=$(cd "$1" && pwd)
keep=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
epoch=$(git -C "$src" log -1 --format=%ct)
a=$work/a/out
b=$work/b/two/deep/out
status=0
failed() {
    echo "FAIL: $*" >&2
    status=1
}
dist() {
    local copy=$1
    shift
    env SOURCE_DATE_EPOCH="$epoch" "$@" "$copy/../src/tools/dist.sh" "$copy" >/dev/null
}
# Compares the release files of two output folders.
same_release() {
    local what=$1 x=$2 y=$3 name
    for name in SHA256SUMS $(cd "$x" && ls *.zip *.msi); do
        cmp -s "$x/$name" "$y/$name" || failed "$what: $name differs between the two builds"
    done
}

for copy in "$a" "$b"; do
    mkdir -p "$copy/../src"
    (cd "$src" && git ls-files -z -co --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$copy/../src"
    dist "$copy"
done

[ "$(ls "$a"/*.zip "$a"/*.msi | wc -l)" -eq 4 ] || failed "expected two archives and two packages"
same_release unsigned "$a" "$b"
for zip in "$a"/*.zip; do
    name=$(basename "$zip")
    listing=$(unzip -Z1 "$zip" | tr '\n' ' ')
    [ "$listing" = "README.txt SHA256SUMS kandu-calc.exe kandu.exe " ] || failed "$name holds: $listing"
    mkdir -p "$work/unpacked/$name"
    unzip -q "$zip" -d "$work/unpacked/$name"
    (cd "$work/unpacked/$name" && sha256sum --quiet -c SHA256SUMS) ||
        failed "the checksums in $name do not match its files"
    # The DllCharacteristics every shipped program has: terminal-server
    # aware, DEP, ASLR, and NO_SEH on 32-bit or high-entropy ASLR on 64-bit.
    [[ $name == *-win32.zip ]] && flags=8540 || flags=8160
    for exe in "$work/unpacked/$name"/*.exe; do
        pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
        # No time in the PE header at all, whatever SOURCE_DATE_EPOCH says.
        stamp=$(od -An -tu4 -j$((pe + 8)) -N4 "$exe" | tr -d ' ')
        [ "$stamp" = 0 ] || failed "$name: $(basename "$exe") has time stamp $stamp"
        found=$(od -An -tx2 -j$((pe + 94)) -N2 "$exe" | tr -d ' ')
        [ "$found" = $flags ] || failed "$name: $(basename "$exe") has DllCharacteristics 0x$found, not 0x$flags"
    done
done
TZ=UTC msiinfo suminfo "$a"/*-win32.msi | grep -q "^Last saved: $(date -u -d "@$epoch" '+%a %b %e %T %Y')\$" ||
    failed "the win32 package's time is not the last commit's"
if [ -n "$keep" ]; then
    rm -rf "$keep"
    mkdir -p "$keep"
    cp "$a"/*.zip "$a"/*.msi "$a/SHA256SUMS" "$keep/"
fi
[ $status -eq 0 ] && echo "both builds gave the same archives and packages:" && cat "$a/SHA256SUMS"

# A throw-away CA and a code-signing certificate it issued, valid from long
# before the last commit.
pki=$work/pki
mkdir -p "$pki"
cat >"$pki/ca.cnf" <<'EOF'
[ca]
default_ca = throwaway
[throwaway]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
[any]
commonName = supplied
[ca_cert]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign
subjectKeyIdentifier = hash
[signer_cert]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
EOF
(
    cd "$pki"
    touch index.txt
    echo 01 >serial
    ca() { openssl ca -batch -notext -config ca.cnf -startdate 20000101000000Z -enddate 20991231235959Z "$@"; }
    for who in ca signer other; do
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out $who.key
    done
    openssl req -new -key ca.key -subj "/CN=Kandu test CA" -out ca.csr
    ca -selfsign -keyfile ca.key -extensions ca_cert -in ca.csr -out ca.pem
    openssl req -new -key signer.key -subj "/CN=Kandu test signer" -out signer.csr
    ca -cert ca.pem -keyfile ca.key -extensions signer_cert -in signer.csr -out signer.pem
    cat signer.pem ca.pem >chain.pem
) >/dev/null 2>&1 || { echo "FAIL: could not make the throw-away CA" >&2; exit 1; }

# Fails with one line naming the file, and leaves no release files.
refused() {
    local what=$1 copy=$2 expected=$3
    shift 3
    local err=$work/err
    if dist "$copy" "$@" 2>"$err"; then
        failed "$what: the release was built"
    elif [ "$(wc -l <"$err")" -ne 1 ] || ! grep -q -- "$expected" "$err"; then
        failed "$what: expected one line naming $expected, got: $(cat "$err")"
    fi
    ! ls "$copy"/*.zip "$copy"/*.msi "$copy/signatures" >/dev/null 2>&1 ||
        failed "$what: release files were left behind"
}
refused "a key of another certificate" "$a" other.key \
    KANDU_SIGN_CERT="$pki/chain.pem" KANDU_SIGN_KEY="$pki/other.key"

dist "$a" KANDU_SIGN_CERT="$pki/chain.pem" KANDU_SIGN_KEY="$pki/signer.key"
signed=("$a"/*.msi)
for zip in "$a"/*.zip; do
    mkdir -p "$work/signed/$(basename "$zip")"
    unzip -q "$zip" -d "$work/signed/$(basename "$zip")"
    signed+=("$work/signed/$(basename "$zip")"/*.exe)
done
[ "$(find "$a/signatures" -name '*.sig' | wc -l)" -eq ${#signed[@]} ] ||
    failed "expected ${#signed[@]} detached signatures"
for file in "${signed[@]}"; do
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$file" >"$work/verify" 2>&1 ||
        failed "$(basename "$file") does not verify: $(grep -m1 -i -e error -e mismatch "$work/verify")"
done

# A signature that belongs to another file.
cp -r "$a/signatures" "$work/wrong"
cp "$a/signatures/kandu-"*"-win32/kandu.exe.sig" "$work/wrong/"kandu-*-win64/kandu-calc.exe.sig
refused "a signature of another file" "$b" "win64/kandu-calc.exe" KANDU_SIGNATURES="$work/wrong"

dist "$b" KANDU_SIGNATURES="$a/signatures"
same_release signed "$a" "$b"
diff -r "$a/signatures" "$b/signatures" >/dev/null || failed "the signatures differ"
[ $status -eq 0 ] && echo "signed, verified, and rebuilt from the signatures byte for byte"
exit $status
