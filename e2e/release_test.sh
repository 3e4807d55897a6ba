#!/usr/bin/env bash
# What a release ships, checked natively.
# Hardening: the shipped programs' headers say ASLR with high entropy (with relocations to move
# them), DEP and Terminal Server aware; they import only Windows' own DLLs, and at load time only
# KnownDLLs, and limit the DLL search to System32 first; their symbol files show the stack protector
# (the programs themselves are stripped).
# Release signing: a small program built with cmake/shipping.cmake in a build tree of its own,
# first with the test certificate, then with a key in a PKCS#11 token (SoftHSM2) and an RFC 3161
# timestamp server run here (openssl ts): refused without OSTINEL_SIGN_TIMESTAMP_URL, then the
# test-signed program is signed again, verifies with its timestamp, and a changed byte fails it.
# The external signing command (OSTINEL_SIGN_TOOL) gets an unsigned file and must timestamp it.
# Every key and certificate is made here, in a temporary folder, and removed at the end.
# Usage: release_test.sh <Windows build directory>
set -u
build=$(cd "${1:?usage: release_test.sh <Windows build directory>}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/e2e/installer_test_lib.sh"
tmp=$(mktemp -d /tmp/ostinel-release.XXXXXX)
tsa_pid=
finish() {
  [ -n "$tsa_pid" ] && kill "$tsa_pid" 2>/dev/null
  if [ "$failures" != 0 ] && [ -f "$tmp/out" ]; then
    echo "--- last output:"
    tail -n 40 "$tmp/out"
  fi
  rm -rf "$tmp"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP PIPE
started=$(date +%s%N)
objdump=x86_64-w64-mingw32-objdump

# ---- Hardening -----------------------------------------------------------------------------------
# Windows' own DLLs that a program of this kind may import; anything else (a MinGW runtime DLL such
# as libssp-0.dll or libstdc++-6.dll, a redistributable) would have to ship beside it.
system_dlls=" advapi32.dll bcrypt.dll cfgmgr32.dll comctl32.dll comdlg32.dll crypt32.dll dwmapi.dll
  gdi32.dll hid.dll imm32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll powrprof.dll
  setupapi.dll shcore.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll userenv.dll uxtheme.dll
  version.dll winmm.dll wintrust.dll wtsapi32.dll "
# DllCharacteristics: HIGH_ENTROPY_VA 0x20, DYNAMIC_BASE 0x40, NX_COMPAT 0x100, TERMINAL_SERVER_AWARE 0x8000.
hardened_header() {
  local headers characteristics relocations
  headers=$($objdump -p "$build/bin/$1.exe") || return 1
  characteristics=$(awk '$1 == "DllCharacteristics" {print $2}' <<<"$headers")
  echo "$1.exe DllCharacteristics 0x$characteristics"
  [ -n "$characteristics" ] && (( (0x$characteristics & 0x8160) == 0x8160 )) || return 1
  # ASLR moves the image only if it keeps its base relocations.
  relocations=$(awk '/Base Relocation Directory/ {print $3}' <<<"$headers")
  [ -n "$relocations" ] && (( 0x$relocations > 0 ))
}
system_imports_only() {
  local dll ok=0
  for dll in $($objdump -p "$build/bin/$1.exe" | awk '/DLL Name:/ {print tolower($3)}'); do
    [[ $system_dlls == *" $dll "* || $dll == api-ms-win-* ]] || { echo "$1.exe imports $dll"; ok=1; }
  done
  return $ok
}
# Ostinel.exe runs in every user's session and OstinelSettings.exe as SYSTEM, both from the install
# folder: at load time (before they can limit the DLL search) they may import only KnownDLLs, which
# Windows never takes from the program's folder; the others are delay-loaded (cmake/delay_load.cmake).
known_dlls=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll setupapi.dll user32.dll "
known_imports_only() {
  local dll ok=0
  for dll in $($objdump -p "$build/bin/$1.exe" | awk '/DLL Name:/ {print tolower($3)}'); do
    [[ $known_dlls == *" $dll "* ]] || { echo "$1.exe imports $dll at load time"; ok=1; }
  done
  return $ok
}
# The first call of wWinMain is LoadDllsFromSystemOnly (win/system_dlls.h), which limits every later
# load to System32: read in the program's code at the addresses its symbol file gives.
first_call_limits_dll_search() {
  local symbols entry limit first
  symbols=$(x86_64-w64-mingw32-nm "$build/symbols/$1.debug") || return 1
  entry=$(awk '$2 == "T" && $3 == "wWinMain" {print $1}' <<<"$symbols")
  limit=$(awk '$2 == "T" && $3 ~ /LoadDllsFromSystemOnly/ {print $1}' <<<"$symbols")
  [ -n "$entry" ] && [ -n "$limit" ] || { echo "$1: wWinMain or LoadDllsFromSystemOnly not in its symbols"; return 1; }
  first=$($objdump -d --no-show-raw-insn --start-address=0x$entry --stop-address=$((0x$entry + 128)) \
          "$build/bin/$1.exe" | awk '$2 == "call" {print $3; exit}')
  echo "$1.exe: wWinMain at 0x$entry first calls $first; LoadDllsFromSystemOnly is at 0x$limit"
  [[ $first =~ ^0x[0-9a-f]+$ ]] && (( first == 0x$limit ))
}
stack_protected() {
  x86_64-w64-mingw32-nm "$build/symbols/$1.debug" | grep -qw __stack_chk_guard
}
for program in Ostinel OstinelSettings; do
  check "$program.exe: ASLR with high entropy and relocations, DEP, Terminal Server aware" hardened_header $program
  check "$program.exe imports only Windows' own DLLs" system_imports_only $program
  check "$program.exe built with the stack protector (symbols/$program.debug)" stack_protected $program
done
for program in Ostinel OstinelFaults OstinelSettings; do
  check "$program.exe imports only KnownDLLs at load time (the others delay-loaded)" known_imports_only $program
done
for program in Ostinel OstinelSettings; do
  check "$program.exe limits the DLL search to System32 first (wWinMain's first call)" \
    first_call_limits_dll_search $program
done

# ---- Release signing -----------------------------------------------------------------------------
# No credentials from the caller's environment.
unset "${!OSTINEL_SIGN_@}"
cd "$tmp" || exit 1
quiet() { "$@" >>"$tmp/out" 2>&1; }

# A root, the release code-signing certificate under it and a timestamp authority under it.
make_certificate() { # name subject extended-key-usage
  quiet openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" &&
  printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$1.ext" &&
  quiet openssl x509 -req -in "$1.csr" -CA root.pem -CAkey root.key -set_serial "0x$RANDOM$RANDOM" -days 2 \
    -sha256 -extfile "$1.ext" -out "$1.pem"
}
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 -subj "/CN=Release Test Root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" &&
  make_certificate release "Release Test Signing" codeSigning &&
  make_certificate tsa "Release Test Timestamps" critical,timeStamping || { echo "making the certificates failed"; cat out; exit 1; }

# The release key lives only in a SoftHSM2 token.
softhsm_module=$(ls /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so 2>/dev/null | head -1)
mkdir tokens
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$tmp/tokens" >softhsm2.conf
export SOFTHSM2_CONF=$tmp/softhsm2.conf
pin=$RANDOM$RANDOM
quiet softhsm2-util --init-token --free --label OstinelRelease --pin "$pin" --so-pin "$RANDOM$RANDOM" &&
  quiet openssl pkcs8 -topk8 -nocrypt -in release.key -out release.p8 &&
  quiet softhsm2-util --import release.p8 --token OstinelRelease --label release --id 01 --pin "$pin" ||
  { echo "making the token failed"; cat out; exit 1; }
rm -f release.key release.p8

# The timestamp server: each request piped to openssl ts -reply.
echo 01 >tsa.serial
cat >tsa.cnf <<EOF
[ tsa ]
default_tsa = release_test
[ release_test ]
serial = $tmp/tsa.serial
crypto_device = builtin
signer_cert = $tmp/tsa.pem
certs = $tmp/root.pem
signer_key = $tmp/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
cat >tsa.py <<'EOF'
import http.server, os, subprocess, sys, tempfile
config, port_file = sys.argv[1], sys.argv[2]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers['Content-Length']))
        with tempfile.TemporaryDirectory() as d:
            request, response = os.path.join(d, 'request'), os.path.join(d, 'response')
            with open(request, 'wb') as f:
                f.write(query)
            subprocess.run(['openssl', 'ts', '-reply', '-config', config, '-queryfile', request,
                            '-out', response], capture_output=True)
            reply = open(response, 'rb').read() if os.path.exists(response) else b''
        self.send_response(200 if reply else 500)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
with open(port_file + '.new', 'w') as f:
    f.write(str(server.server_port))
os.rename(port_file + '.new', port_file)
server.serve_forever()
EOF
python3 tsa.py "$tmp/tsa.cnf" "$tmp/tsa.port" >>"$tmp/out" 2>&1 &
tsa_pid=$!
for i in $(seq 1 100); do
  [ -f tsa.port ] && break
  kill -0 $tsa_pid 2>/dev/null || break
  sleep 0.1
done
[ -f tsa.port ] || { echo "the timestamp server did not start"; cat out; exit 1; }
timestamp_url=http://127.0.0.1:$(cat tsa.port)

# A shipped program of its own, built the way the product's are.
mkdir probe
cat >probe/CMakeLists.txt <<EOF
cmake_minimum_required(VERSION 3.25)
project(ReleaseProbe C)
include($root/cmake/shipping.cmake)
add_executable(Probe WIN32 probe.c)
ostinel_ship_program(Probe)
EOF
printf '#include <windows.h>\nint WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) { (void)a; (void)b; (void)c; return d; }\n' >probe/probe.c
probe_build=$tmp/probe-build
probe=$probe_build/bin/Probe.exe
quiet cmake -S probe -B "$probe_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$probe_build/bin" || { cat out; exit 1; }
build_probe() { env "$@" cmake --build "$probe_build" >"$tmp/out" 2>&1; }
# The output of the last build or signing, on one line (CMake wraps its messages).
said() { tr -s '\n ' '  ' <"$tmp/out" | grep -qF "$1"; }
verifies_to() { # file root [more osslsigncode options]
  local file=$1 ca=$2
  shift 2
  osslsigncode verify -in "$file" -CAfile "$ca" "$@" >"$tmp/verify.out" 2>&1
}
timestamped() {
  verifies_to "$1" root.pem -TSA-CAfile root.pem && grep -q 'Timestamp Server Signature verification: ok' verify.out
}

test_signed() { build_probe && verifies_to "$probe" "$probe_build/signing/test-root.pem"; }
check "without credentials the build signs with the test certificate" test_signed
cp "$probe" test-signed.exe

token=(OSTINEL_SIGN_CERT="$tmp/release.pem" OSTINEL_SIGN_KEY="pkcs11:token=OstinelRelease;object=release;type=private"
       OSTINEL_SIGN_PKCS11_MODULE="$softhsm_module" OSTINEL_SIGN_PASSWORD="$pin")
refused_without_timestamp() {
  ! build_probe "${token[@]}" && said 'needs OSTINEL_SIGN_TIMESTAMP_URL' && cmp -s "$probe" test-signed.exe
}
check "a token key without OSTINEL_SIGN_TIMESTAMP_URL is refused, naming it; the program is left as it was" \
  refused_without_timestamp
signed_from_token() {
  build_probe "${token[@]}" OSTINEL_SIGN_TIMESTAMP_URL="$timestamp_url" && timestamped "$probe" &&
    ! verifies_to "$probe" "$probe_build/signing/test-root.pem"
}
check "the test-signed program is signed again with the key in the token, with a verified timestamp" \
  signed_from_token
cp "$probe" tampered.exe
printf '\x5a' | dd of=tampered.exe bs=1 seek=1100 conv=notrunc status=none
tampered_fails() { ! cmp -s "$probe" tampered.exe && ! verifies_to tampered.exe root.pem -TSA-CAfile root.pem; }
check "a changed byte fails the release signature" tampered_fails

# The external signing command, here a script over osslsigncode and the token; it fails on a file
# that still carries a signature. CLOUD_NO_TIMESTAMP makes it leave the timestamp out.
cat >cloud-sign.sh <<EOF
#!/usr/bin/env bash
osslsigncode extract-signature -in "\$1" -out "\$1.sig" >/dev/null 2>&1 && { echo "already signed: \$1"; exit 3; }
ts=(-ts "\$OSTINEL_SIGN_TIMESTAMP_URL")
[ -n "\${CLOUD_NO_TIMESTAMP:-}" ] && ts=()
osslsigncode sign -pkcs11module "$softhsm_module" -certs "$tmp/release.pem" \\
  -key "pkcs11:token=OstinelRelease;object=release;type=private" -pass "$pin" -h sha256 "\${ts[@]}" \\
  -in "\$1" -out "\$1.signed" && mv "\$1.signed" "\$1"
EOF
sign_with_tool() { # file [environment]
  local file=$1
  shift
  env "$@" OSTINEL_SIGN_TOOL="bash $tmp/cloud-sign.sh" OSTINEL_SIGN_TIMESTAMP_URL="$timestamp_url" \
    cmake -DOSSLSIGNCODE="$(command -v osslsigncode)" -DOPENSSL="$(command -v openssl)" -DSIGNING_DIR="$tmp/signing" \
    -P "$root/cmake/sign.cmake" "$file" >"$tmp/out" 2>&1
}
cp test-signed.exe tool.exe
signed_by_tool() { sign_with_tool tool.exe && timestamped tool.exe; }
check "OSTINEL_SIGN_TOOL signs a test-signed file again, with its timestamp" signed_by_tool
cp test-signed.exe tool-no-timestamp.exe
tool_without_timestamp_refused() {
  ! sign_with_tool tool-no-timestamp.exe CLOUD_NO_TIMESTAMP=1 && said 'without a timestamp' &&
    ! osslsigncode extract-signature -in tool-no-timestamp.exe -out unexpected.sig >/dev/null 2>&1
}
check "a signature from OSTINEL_SIGN_TOOL without a timestamp is refused and taken off" tool_without_timestamp_refused

installer_test_end
