#!/usr/bin/env bash
# Two release builds of the same tree, copied into two fresh directories of
# different depth and built one after the other, give byte-identical
# archives and packages; each archive holds its four files and their
# checksums agree. Then the first copy signs its release with a throw-away
# CA's code-signing certificate, each signature time-stamped by a time-stamp
# authority of that CA on 127.0.0.1; every signed file verifies against that
# CA even after the certificate has expired, and the second copy, given only
# the detached signatures, gives the signed release again byte for byte. A
# signature that does not fit, a key that does not match and signing without
# a time-stamp server stop the build with one line and leave no release files,
# as does an osslsigncode older than 2.9. Every README.txt shipped names the
# release's address, given with sed's special characters, and keeps no
# placeholder.
#   reproducible_test.sh SOURCE_TREE [KEEP_DIR]
# KEEP_DIR receives the unsigned release of the first copy.
set -euo pipefail
src=$(cd "$1" && pwd)
keep=${2:-}
work=$(mktemp -d)
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill $tsa_pid 2>/dev/null; rm -rf "$work"' EXIT
epoch=$(git -C "$src" log -1 --format=%ct)
a=$work/a/out
b=$work/b/two/deep/out
url='https://example.org/kandu/?a=1&b=/c\d'
status=0
failed() {
    echo "FAIL: $*" >&2
    status=1
}
dist() {
    local copy=$1
    shift
    env SOURCE_DATE_EPOCH="$epoch" KANDU_RELEASE_URL="$url" "$@" "$copy/../src/tools/dist.sh" "$copy" >/dev/null
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
for msi in "$a"/*.msi; do msiextract -C "$work/msi/$(basename "$msi")" "$msi" >/dev/null; done
shopt -s globstar
for readme in "$work"/unpacked/*/README.txt "$work"/msi/**/README.txt; do
    grep -qxF "  $url"$'\r' "$readme" && ! grep -q '@[A-Za-z_][A-Za-z0-9_]*@' "$readme" ||
        failed "${readme#"$work"/} keeps a placeholder or does not name $url"
done
TZ=UTC msiinfo suminfo "$a"/*-win32.msi | grep -q "^Last saved: $(date -u -d "@$epoch" '+%a %b %e %T %Y')\$" ||
    failed "the win32 package's time is not the last commit's"
if [ -n "$keep" ]; then
    rm -rf "$keep"
    mkdir -p "$keep"
    cp "$a"/*.zip "$a"/*.msi "$a/SHA256SUMS" "$keep/"
fi
[ $status -eq 0 ] && echo "both builds gave the same archives and packages:" && cat "$a/SHA256SUMS"

# A throw-away CA and the code-signing and time-stamping certificates it
# issued, valid from long before the last commit to the end of 2099.
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
[tsa_cert]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
authorityKeyIdentifier = keyid
[tsa]
default_tsa = throwaway_tsa
[throwaway_tsa]
serial = tsa-serial
signer_cert = tsa.pem
certs = ca.pem
signer_key = tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
(
    cd "$pki"
    touch index.txt
    echo 01 >serial
    echo 01 >tsa-serial
    ca() { openssl ca -batch -notext -config ca.cnf -startdate 20000101000000Z -enddate 20991231235959Z "$@"; }
    for who in ca signer other tsa; do
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out $who.key
    done
    openssl req -new -key ca.key -subj "/CN=Kandu test CA" -out ca.csr
    ca -selfsign -keyfile ca.key -extensions ca_cert -in ca.csr -out ca.pem
    openssl req -new -key signer.key -subj "/CN=Kandu test signer" -out signer.csr
    ca -cert ca.pem -keyfile ca.key -extensions signer_cert -in signer.csr -out signer.pem
    cat signer.pem ca.pem >chain.pem
    openssl req -new -key tsa.key -subj "/CN=Kandu test time-stamp authority" -out tsa.csr
    ca -cert ca.pem -keyfile ca.key -extensions tsa_cert -in tsa.csr -out tsa.pem
) >/dev/null 2>&1 || { echo "FAIL: could not make the throw-away CA" >&2; exit 1; }

# The time-stamp authority: openssl ts answers each request that comes to
# 127.0.0.1 over HTTP, as RFC 3161 servers do.
cat >"$pki/tsa.py" <<'END'
import http.server, subprocess
class Stamp(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        reply = subprocess.run(['openssl', 'ts', '-reply', '-config', 'ca.cnf', '-queryfile',
                                '/dev/stdin', '-out', '/dev/stdout'],
                               input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Stamp)
print(server.server_address[1], flush=True)
server.serve_forever()
END
(cd "$pki" && exec /usr/bin/python3 tsa.py >port) &
tsa_pid=$!
for _ in $(seq 1 100); do
    [ -s "$pki/port" ] && break
    sleep 0.1
done
[ -s "$pki/port" ] || { echo "FAIL: the time-stamp authority did not start" >&2; exit 1; }
tsa_url=http://127.0.0.1:$(cat "$pki/port")

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
mkdir "$work/old" && printf '#!/bin/sh\necho "osslsigncode 2.5, using:"\n' >"$work/old/osslsigncode"
chmod +x "$work/old/osslsigncode"
refused "osslsigncode 2.5" "$a" "osslsigncode 2.9 or later (this is 2.5)" PATH="$work/old:$PATH" KANDU_SIGNATURES="$work"
refused "signing without a time-stamp server" "$a" KANDU_SIGN_TIMESTAMP_URL \
    KANDU_SIGN_CERT="$pki/chain.pem" KANDU_SIGN_KEY="$pki/signer.key"

dist "$a" KANDU_SIGN_CERT="$pki/chain.pem" KANDU_SIGN_KEY="$pki/signer.key" \
    KANDU_SIGN_TIMESTAMP_URL="$tsa_url"
signed=("$a"/*.msi)
for zip in "$a"/*.zip; do
    mkdir -p "$work/signed/$(basename "$zip")"
    unzip -q "$zip" -d "$work/signed/$(basename "$zip")"
    signed+=("$work/signed/$(basename "$zip")"/*.exe)
done
[ "$(find "$a/signatures" -name '*.sig' | wc -l)" -eq ${#signed[@]} ] ||
    failed "expected ${#signed[@]} detached signatures"
# The output folder holds what is published and nothing else.
extra=$(ls "$a" | grep -vxE 'SHA256SUMS|signatures|kandu-[0-9.]+-win(32|64)\.(zip|msi)' || true)
[ -z "$extra" ] || failed "the output folder holds more than the release: $extra"
# Verified as on the first day of 2100, when the certificate has expired:
# the time stamp keeps the signature valid (without one it would not be).
for file in "${signed[@]}"; do
    osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -time 4102444800 \
        -in "$file" >"$work/verify" 2>&1 &&
        grep -q '^Timestamp Server Signature verification: ok' "$work/verify" ||
        failed "$(basename "$file") does not verify with its time stamp: $(grep -m1 -i -e error -e mismatch -e expired "$work/verify")"
done

# A signature that belongs to another file.
cp -r "$a/signatures" "$work/wrong"
cp "$a/signatures/kandu-"*"-win32/kandu.exe.sig" "$work/wrong/"kandu-*-win64/kandu-calc.exe.sig
refused "a signature of another file" "$b" "win64/kandu-calc.exe" KANDU_SIGNATURES="$work/wrong"

dist "$b" KANDU_SIGNATURES="$a/signatures"
same_release signed "$a" "$b"
diff -r "$a/signatures" "$b/signatures" >/dev/null || failed "the signatures differ"
[ $status -eq 0 ] && echo "signed, time-stamped, verified, and rebuilt from the signatures byte for byte"
exit $status
