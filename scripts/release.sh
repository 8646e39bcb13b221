#!/usr/bin/env bash
# Makes a release from the current commit: configures a fresh release tree with the payload
# folder, builds the program, signs it when asked, runs the Windows tests of the program file
# against that very file, and writes OUT/VantorTrackerFlasher-<version>/ with the program,
# SHA256SUMS, esptool's licence and a notice.
#   scripts/release.sh --payloads DIR --donate-id ID [--sign CERT.pfx] [--allow-dirty]
#                      [--timestamp-url URL] [--out DIR (dist)] [--tree DIR (build/release)]
# The certificate's password comes from VTF_SIGN_PASSWORD or from the file named by
# VTF_SIGN_PASSWORD_FILE, never from the command line. The time-stamp server (RFC 3161) is off
# unless --timestamp-url or VTF_TIMESTAMP_URL names one.
# Every refusal comes before anything is written to OUT; the folder appears there whole or not
# at all.
set -euo pipefail

refuse() {
  echo "release: $*" >&2
  exit 1
}

payloads="" donate_id="" cert="" allow_dirty=0 out="dist" tree="build/release"
timestamp_url="${VTF_TIMESTAMP_URL:-}"
while [ $# -gt 0 ]; do
  case "$1" in
    --payloads | --donate-id | --sign | --timestamp-url | --out | --tree)
      [ $# -ge 2 ] || refuse "$1 needs a value"
      case "$1" in
        --payloads) payloads="$2" ;;
        --donate-id) donate_id="$2" ;;
        --sign) cert="$2" ;;
        --timestamp-url) timestamp_url="$2" ;;
        --out) out="$2" ;;
        --tree) tree="$2" ;;
      esac
      shift 2
      ;;
    --allow-dirty) allow_dirty=1 && shift ;;
    *) refuse "unknown argument: $1 (see the head of scripts/release.sh)" ;;
  esac
done

# Paths are the caller's; the script works from the source folder.
[ -n "$payloads" ] || refuse "--payloads DIR is required"
[ -d "$payloads" ] || refuse "the payload folder $payloads does not exist"
payloads=$(realpath "$payloads")
out=$(realpath -m "$out")
tree=$(realpath -m "$tree")
if [ -n "$cert" ]; then
  [ -f "$cert" ] || refuse "the certificate $cert does not exist"
  cert=$(realpath "$cert")
fi
if [ -n "${VTF_SIGN_PASSWORD_FILE:-}" ]; then
  VTF_SIGN_PASSWORD_FILE=$(realpath "$VTF_SIGN_PASSWORD_FILE")
fi
cd "$(dirname "$0")/.."
. scripts/lib.sh
[ -n "${VTF_SETUP_DONE:-}" ] || scripts/setup.sh

# ---- Refusals, before anything is built or written -------------------------------------------

[[ "$donate_id" =~ ^[A-Za-z0-9]+$ ]] ||
  refuse "the donation id must be letters and digits only (got '$donate_id')"

if ! check=$(python3 tools/check_payload_folder.py "$payloads" 2>&1); then
  refuse "the payload folder $payloads does not hold payloads fit to embed:
$check"
fi

commit=$(git rev-parse HEAD) || refuse "not a git work tree: a release is built from a commit"
dirty=$(git status --porcelain)
if [ -n "$dirty" ] && [ $allow_dirty -eq 0 ]; then
  refuse "the work tree has uncommitted changes (give --allow-dirty to release them anyway):
$dirty"
fi

scratch=$(mktemp -d)
staging=""
cleanup() {
  [ -n "$staging" ] && rm -rf "$staging"
  rm -rf "$scratch"
  stop_wine "$tree/wineprefix"
  stop_virtual_display
}
trap cleanup EXIT

if [ -n "$cert" ]; then
  # osslsigncode reads the password from a file; one given through the environment is
  # written to a private one.
  if [ -n "${VTF_SIGN_PASSWORD_FILE:-}" ]; then
    password_file="$VTF_SIGN_PASSWORD_FILE"
  elif [ -n "${VTF_SIGN_PASSWORD+set}" ]; then
    password_file="$scratch/password"
    (umask 077 && printf '%s' "$VTF_SIGN_PASSWORD" >"$password_file")
  else
    refuse "signing needs the certificate's password in VTF_SIGN_PASSWORD or VTF_SIGN_PASSWORD_FILE"
  fi
  [ -r "$password_file" ] || refuse "cannot read the password file $password_file"
  openssl pkcs12 -in "$cert" -passin "file:$password_file" -nokeys -clcerts \
    -out "$scratch/cert.pem" 2>/dev/null ||
    refuse "cannot open the certificate $cert with the given password"
  openssl pkcs12 -in "$cert" -passin "file:$password_file" -nocerts -nodes \
    -out "$scratch/key.pem" 2>/dev/null || refuse "cannot read the private key in $cert"
  grep -q "PRIVATE KEY" "$scratch/key.pem" || refuse "the certificate $cert holds no private key"
  grep -q "BEGIN CERTIFICATE" "$scratch/cert.pem" ||
    refuse "the file $cert holds no certificate"
  openssl x509 -in "$scratch/cert.pem" -noout -checkend 0 >/dev/null ||
    refuse "the certificate in $cert has expired or is not valid yet"
  openssl x509 -in "$scratch/cert.pem" -noout -ext extendedKeyUsage 2>/dev/null |
    grep -q "Code Signing" || refuse "the certificate in $cert is not for code signing"
fi

# ---- Build and test ---------------------------------------------------------------------------

# The commit's time stamps the PE header, so that two builds of one commit agree.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)

echo "== configure a fresh release tree: $tree"
rm -rf "$tree"
cmake -S . -B "$tree" -G Ninja --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVTF_PAYLOAD_DIR="$payloads" -DVTF_DONATE_BUTTON_ID="$donate_id" \
  >"$tree.configure.log" 2>&1 || {
  cat "$tree.configure.log" >&2
  refuse "the release tree does not configure"
}
rm -f "$tree.configure.log"
name=$(cat "$tree/release-name.txt")

echo "== build"
cmake --build "$tree" --target VantorTrackerFlasher program_file_win32_tests \
  payload_resources_win32_tests
program="$tree/src/app/win32/VantorTrackerFlasher.exe"
# What two builds of this commit compare.
cp "$program" "$tree/VantorTrackerFlasher.unsigned.exe"

if [ -n "$cert" ]; then
  echo "== sign"
  timestamp=()
  [ -n "$timestamp_url" ] && timestamp=(-ts "$timestamp_url")
  osslsigncode sign -pkcs12 "$cert" -readpass "$password_file" -h sha256 \
    -n "VantorTracker Flasher" "${timestamp[@]}" \
    -in "$tree/VantorTrackerFlasher.unsigned.exe" -out "$scratch/signed.exe" >/dev/null ||
    refuse "osslsigncode could not sign with $cert"
  osslsigncode verify -CAfile "$scratch/cert.pem" -in "$scratch/signed.exe" >/dev/null ||
    refuse "the signature does not verify against $cert"
  # The tests below then run on the signed file, the one that ships.
  cp "$scratch/signed.exe" "$program"
fi

echo "== test the program file under Wine"
start_virtual_display
ctest --test-dir "$tree" -L program-file --output-on-failure || refuse "the program's tests failed"

# ---- The release folder -----------------------------------------------------------------------

tool="$payloads/esptool.exe"
tool_version=$(timeout 120 "$tree/wine-run.sh" "$tool" version 2>/dev/null </dev/null |
  sed -n 's/^esptool v\([0-9][0-9.]*\).*/\1/p' | head -n 1) || true

mkdir -p "$out"
staging=$(mktemp -d "$out/.$name.XXXXXX")
cp "$program" "$staging/VantorTrackerFlasher.exe"
cp /usr/share/common-licenses/GPL-2 "$staging/esptool-LICENSE.txt"
{
  echo "VantorTracker Flasher ${name#VantorTrackerFlasher-}"
  echo
  echo "Built from commit $commit."
  if [ -n "$dirty" ]; then
    echo "The work tree had uncommitted changes (built with --allow-dirty): this program is"
    echo "not exactly that commit."
  fi
  if [ -n "$cert" ]; then
    echo "Signed (Authenticode, SHA-256) by: $(openssl x509 -in "$scratch/cert.pem" -noout \
      -subject -nameopt oneline | sed 's/^subject= *//')"
  fi
  echo
  echo "VantorTrackerFlasher.exe carries, as its embedded esptool.exe, a Windows build of"
  echo "esptool, Espressif's flashing tool for ESP32-family chips:"
  echo "  SHA-256 $(sha256sum "$tool" | cut -d' ' -f1)"
  if [ -n "$tool_version" ]; then
    echo "  version $tool_version (what 'esptool.exe version' prints)"
  else
    echo "  version: not reported ('esptool.exe version' printed none)"
  fi
  echo
  echo "esptool is free software under the GNU General Public License, version 2 or (at your"
  echo "option) any later version; the licence text is esptool-LICENSE.txt beside this file."
  echo "Its source is Espressif's esptool repository, https://github.com/espressif/esptool,"
  echo "at the tag v${tool_version:-<version>}; this program adds nothing to the tool's build."
} >"$staging/NOTICE.txt"
(cd "$staging" && sha256sum VantorTrackerFlasher.exe NOTICE.txt esptool-LICENSE.txt >SHA256SUMS)

rm -rf "${out:?}/$name"
mv "$staging" "$out/$name"
staging=""
echo "== $out/$name"
cat "$out/$name/SHA256SUMS"
