#!/usr/bin/env bash
# scripts/release.sh end to end, with the stand-in payloads as an outside payload folder and a
# throwaway certificate: each refusal leaves nothing in the output folder; a signed release
# verifies against its certificate and its checksums name the signed file; two builds of one
# commit from two folders give one program file.
#   tests/release/release_test.sh STAND_IN_PAYLOAD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/../.."
export VTF_SETUP_DONE=1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

payloads="$scratch/payloads"
cp -r "$1" "$payloads"
out="$scratch/dist"

echo "-- a throwaway code-signing certificate"
certificate() { # NAME USAGE
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=VantorTracker test $1" \
    -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=$2" \
    -keyout "$scratch/$1.key" -out "$scratch/$1.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$scratch/$1.key" -in "$scratch/$1.pem" \
    -passout "file:$scratch/password" -out "$scratch/$1.pfx"
}
printf 'throwaway' >"$scratch/password"
certificate signer codeSigning
certificate stranger codeSigning
certificate server serverAuth
head -c 2000 /dev/urandom >"$scratch/noise.pfx"
export VTF_SIGN_PASSWORD_FILE="$scratch/password"

allow=()
[ -z "$(git status --porcelain)" ] || allow=(--allow-dirty)

echo "-- refusals"
cp -r "$payloads" "$scratch/damaged"
truncate -s 3000 "$scratch/damaged/s3_partitions.bin"
printf 'other' >"$scratch/wrong-password"
refused() { # EXPECTED-TEXT ENVIRONMENT... -- ARGUMENTS...
  local expected="$1" output
  shift
  local environment=()
  while [ "$1" != -- ]; do environment+=("$1") && shift; done
  shift
  if output=$(env "${environment[@]}" scripts/release.sh "$@" --out "$out" \
    --tree "$scratch/refused-tree" 2>&1); then
    fail "accepted: $*"
  elif ! grep -qF -- "$expected" <<<"$output"; then
    fail "refused without '$expected': $*"$'\n'"$output"
  fi
  if [ -n "$(ls -A "$out" 2>/dev/null)" ] || [ -e "$scratch/refused-tree" ]; then
    fail "left something behind: $*"
  fi
}
sign=(--sign "$scratch/signer.pfx")
refused "s3_partitions.bin" -- --payloads "$scratch/damaged" --donate-id ABC123 "${allow[@]}"
refused "letters and digits" -- --payloads "$payloads" --donate-id "ABC-123" "${allow[@]}"
refused "letters and digits" -- --payloads "$payloads" --donate-id "" "${allow[@]}"
refused "cannot open the certificate" VTF_SIGN_PASSWORD_FILE="$scratch/wrong-password" -- \
  --payloads "$payloads" --donate-id ABC123 "${sign[@]}" "${allow[@]}"
refused "cannot open the certificate" -- \
  --payloads "$payloads" --donate-id ABC123 --sign "$scratch/noise.pfx" "${allow[@]}"
refused "not for code signing" -- \
  --payloads "$payloads" --donate-id ABC123 --sign "$scratch/server.pfx" "${allow[@]}"
refused "needs the certificate's password" -u VTF_SIGN_PASSWORD_FILE -- \
  --payloads "$payloads" --donate-id ABC123 "${sign[@]}" "${allow[@]}"
# A clone with this work tree's files and one stray file: uncommitted changes for sure.
git clone -q --local . "$scratch/clone"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$scratch/clone"
touch "$scratch/clone/stray"
output=$(cd "$scratch/clone" && scripts/release.sh --payloads "$payloads" --donate-id ABC123 \
  --out "$out" --tree "$scratch/refused-tree" 2>&1) && fail "a dirty tree was accepted"
grep -qF "uncommitted changes" <<<"$output" || fail "dirty tree refused without saying why"
[ -z "$(ls -A "$out" 2>/dev/null)" ] || fail "the dirty tree's refusal left something behind"

echo "-- a signed release"
scripts/release.sh --payloads "$payloads" --donate-id VTFTEST42 "${sign[@]}" "${allow[@]}" \
  --out "$out" --tree "$scratch/release-tree"
release="$out/$(cat "$scratch/release-tree/release-name.txt")"
[ "$(basename "$release")" = VantorTrackerFlasher-1.3 ] || fail "release folder $release"
[ "$(ls -A "$out")" = "$(basename "$release")" ] || fail "more than the release in $out"
[ "$(cd "$release" && ls | sort | tr '\n' ' ')" = \
  "NOTICE.txt SHA256SUMS VantorTrackerFlasher.exe esptool-LICENSE.txt " ] ||
  fail "release files: $(ls "$release")"
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
grep -qx "$(cd "$release" && sha256sum VantorTrackerFlasher.exe)" "$release/SHA256SUMS" ||
  fail "SHA256SUMS does not name the program"
cmp -s "$release/VantorTrackerFlasher.exe" "$scratch/release-tree/VantorTrackerFlasher.unsigned.exe" &&
  fail "the released program is not signed"
osslsigncode verify -CAfile "$scratch/signer.pem" -in "$release/VantorTrackerFlasher.exe" \
  >"$scratch/verify.log" 2>&1 || fail "the signature does not verify: $(cat "$scratch/verify.log")"
osslsigncode verify -CAfile "$scratch/stranger.pem" -in "$release/VantorTrackerFlasher.exe" \
  >/dev/null 2>&1 && fail "the signature verifies against another certificate"
cmp -s "$release/esptool-LICENSE.txt" /usr/share/common-licenses/GPL-2 ||
  fail "esptool-LICENSE.txt is not the GPL-2.0 text"
notice="$release/NOTICE.txt"
cat "$notice"
grep -qF "commit $(git rev-parse HEAD)" "$notice" || fail "the notice names no commit"
grep -qF "$(sha256sum "$payloads/esptool.exe" | cut -d' ' -f1)" "$notice" ||
  fail "the notice does not name the embedded tool"
grep -qF "https://github.com/espressif/esptool" "$notice" || fail "the notice has no source"
if [ ${#allow[@]} -gt 0 ]; then
  grep -qF -- "--allow-dirty" "$notice" || fail "the notice hides the uncommitted changes"
else
  grep -qF -- "--allow-dirty" "$notice" && fail "the notice speaks of changes there are not"
fi

echo "-- the same commit from another folder"
elsewhere="$scratch/elsewhere/VantorTrackerFlasher"
mkdir -p "$elsewhere"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$elsewhere"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) cmake -S "$elsewhere" -B "$elsewhere-build" \
  -G Ninja --toolchain "$elsewhere/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DVTF_PAYLOAD_DIR="$payloads" -DVTF_DONATE_BUTTON_ID=VTFTEST42 >/dev/null
cmake --build "$elsewhere-build" --target VantorTrackerFlasher >/dev/null
a=$(sha256sum <"$scratch/release-tree/VantorTrackerFlasher.unsigned.exe")
b=$(sha256sum <"$elsewhere-build/src/app/win32/VantorTrackerFlasher.exe")
echo "release tree: $a"
echo "other folder: $b"
[ "$a" = "$b" ] || fail "two builds of one commit differ"
# What anyone can check: the published file with its signature taken off is that build.
osslsigncode remove-signature -in "$release/VantorTrackerFlasher.exe" \
  -out "$scratch/unsigned.exe" >/dev/null
[ "$(sha256sum <"$scratch/unsigned.exe")" = "$b" ] ||
  fail "the released program without its signature is not the other folder's build"

if [ $failures -gt 0 ]; then
  echo "release checks: $failures failed" >&2
  exit 1
fi
echo "release checks: all passed"
