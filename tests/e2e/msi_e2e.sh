#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix of its own: installs
# the MSI silently, then a rebuild of the same version over it (without
# veltactl.ini: the service stays stopped and writes no log), checks the
# three programs, their version resources and manifests, the service's
# registration and event source, restarts Windows with StartType=1 and
# expects the service to run and echo, installs a newer MSI over it (the
# switched-on service runs again and answers the installed veltaping.exe),
# uninstalls, and finally registers the same veltad.exe with /install to
# check that both ways register the same.
#
#   msi_e2e.sh FIRST_BUILD_MSI OLD_MSI OLD_VERSION NEW_MSI NEW_VERSION BIN_DIR NATIVE_BIN_DIR WORK_DIR
#
# FIRST_BUILD_MSI and OLD_MSI are two builds of OLD_VERSION.
#
# BIN_DIR holds veltad.exe, scm-driver.exe and resource-check.exe. Failures
# go on standard error, with the step they happened in.
set -uo pipefail

if [ $# -ne 8 ]; then
  echo "usage: msi_e2e.sh FIRST_BUILD_MSI OLD_MSI OLD_VERSION NEW_MSI NEW_VERSION BIN_DIR NATIVE_BIN_DIR WORK_DIR" >&2
  exit 2
fi
first_msi=$(realpath -m "$1")
shift
old_msi=$(realpath -m "$1")
old_version=$2
new_msi=$(realpath -m "$3")
new_version=$4
bin=$(realpath -m "$5")
native_bin=$(realpath -m "$6")
work=$(realpath -m "$7")/msi
export LC_ALL=C

# A prefix of its own, new for every run: what an installer finds on a
# machine that never had Velta.
export WINEPREFIX=$work/pfx
export VELTA_SERVICES_LOG=$work/services.log
source "$(dirname "$0")/../../scripts/wine-session.sh"

scm=$bin/scm-driver.exe
check=$bin/resource-check.exe
probe=$native_bin/veltaping
port=11059
step_name=
started=$SECONDS
session=0

step() {
  step_name=$1
  printf '== %s (%ds)\n' "$step_name" $((SECONDS - started))
}

fail() {
  echo "FAILED in step '$step_name': $*" >&2
  exit 1
}

cleanup() {
  local rc=$?
  if [ "$session" = 1 ]; then velta_wine_stop; fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_state() {
  velta_run_wine "$scm" wait "$1" "$2"
  [ $rc -eq 0 ] || fail "service not $1 within $2 s: $out"
  echo "   $out"
}

probe_ok() {
  local deadline=$((SECONDS + 10)) answer
  while ! answer=$("$probe" -n 1 -w 1000 "127.0.0.1:$port" 2>&1); do
    [ $SECONDS -ge $deadline ] && fail "no echo on port $port: $answer"
    sleep 0.1
  done
  echo "   port $port answers ($1): $(head -1 <<<"$answer")"
}

expect_one_product() {
  local products
  products=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null)
  [ "$(grep -cE 'DisplayName +REG_SZ +Velta.?$' <<<"$products")" = 1 ] || fail "$1"
}

# The service's and the event source's keys as the registry holds them.
registration() {
  local key
  for key in VeltaService EventLog\\Application\\VeltaService; do
    wine reg query "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$key" 2>&1 | tr -d '\r' || fail "no key $key"
  done
}

# Version resource and manifest of an installed program.
check_resources() {
  local exe=$dir/$1 level=$2 version=$3 line
  velta_run_wine "$check" "$exe"
  for line in "fixed $version.0 $version.0" "ProductName=Velta" "ProductVersion=$version" "OriginalFilename=$1" \
    "*level=\"$level\"*" '*{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}*'; do
    grep -qx -- "${line//\*/.*}" <<<"$out" || fail "$1 lacks $line: $out"
  done
  echo "   $1: version $version, $level, Windows 10 and 11"
}

# ---------------------------------------------------------------------------

step "prerequisites"
for f in "$first_msi" "$old_msi" "$new_msi"; do [ -f "$f" ] || fail "$f is missing: run scripts/release first"; done
for f in "$scm" "$check" "$bin/veltad.exe" "$probe"; do [ -e "$f" ] || fail "$f is missing"; done
"$probe" -n 1 -w 1000 "127.0.0.1:$port" >/dev/null 2>&1 && fail "port $port is taken by another program"

step "fresh prefix $WINEPREFIX"
rm -rf "$work"
mkdir -p "$work"
session=1
velta_wine_start
dir="$WINEPREFIX/drive_c/Program Files/Velta"
ini=$dir/veltactl.ini
log=$dir/veltactl.log

step "msiexec /i $(basename "$first_msi") /qn, a rebuild of the same version over it, its removal"
velta_run_wine msiexec /i "$first_msi" /qn
[ $rc -eq 0 ] || fail "msiexec /i exited with $rc: $out"
velta_run_wine msiexec /i "$old_msi" /qn
[ $rc -eq 0 ] || fail "msiexec /i of the rebuild exited with $rc: $out"
expect_one_product "the rebuild installed beside the first build"
velta_run_wine msiexec /x "$old_msi" /qn
[ $rc -eq 0 ] || fail "msiexec /x of the rebuild exited with $rc: $out"
velta_run_wine "$scm" state
grep -q 'OpenServiceA failed: 1060' <<<"$out" || fail "the removal left the service registered: $out"
echo "   one product registered; its removal left no service"

# Wine's installer forgets the upgrade code of a product that replaced one
# of its own version, so the rest starts from a plain installation.
step "msiexec /i $(basename "$old_msi") /qn"
velta_run_wine msiexec /i "$old_msi" /qn
[ $rc -eq 0 ] || fail "msiexec /i exited with $rc: $out"
for f in veltad.exe veltactl.exe veltaping.exe; do [ -f "$dir/$f" ] || fail "$dir/$f was not installed"; done
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velta.lnk' | head -1)
[ -n "$shortcut" ] || fail "no Start-menu shortcut Velta"
echo "   files in $dir, shortcut ${shortcut#"$WINEPREFIX/"}"
check_resources veltad.exe asInvoker "$old_version"
check_resources veltactl.exe requireAdministrator "$old_version"
check_resources veltaping.exe asInvoker "$old_version"

step "the service is registered to start with the system and left stopped"
msi_registration=$(registration)
echo "$msi_registration" | sed 's/^/   /'
grep -qE 'Start +REG_DWORD +0x2' <<<"$msi_registration" || fail "not started with the system"
grep -qE 'EventMessageFile +REG_EXPAND_SZ +C:\\Program Files\\Velta\\veltad.exe' <<<"$msi_registration" ||
  fail "EventMessageFile"
# A busy machine has been seen to give no answer at all once; asked again,
# the manager answers.
for _ in 1 2 3; do
  velta_run_wine "$scm" state
  [ -n "$out" ] && break
  sleep 1
done
grep -q '^STOPPED' <<<"$out" || fail "the installer started the service without veltactl.ini (rc $rc): $out"
[ ! -e "$log" ] || fail "the installs wrote an activity log: $(cat "$log")"

step "restart of Windows with StartType=1: the service runs and echoes"
printf '[Server]\r\nStartType=1\r\n' >"$ini"
velta_wine_reboot
wait_state RUNNING 20
probe_ok "installed $old_version"
cp "$ini" "$work/ini.before"
cp "$log" "$work/log.before"

step "msiexec /i $(basename "$new_msi") /qn over it"
velta_run_wine msiexec /i "$new_msi" /qn
[ $rc -eq 0 ] || fail "the upgrade exited with $rc: $out"
cmp -s "$ini" "$work/ini.before" || fail "the upgrade changed veltactl.ini"
cmp -s -n "$(stat -c %s "$work/log.before")" "$log" "$work/log.before" || fail "the upgrade lost the activity log"
expect_one_product "both versions are registered as installed"
check_resources veltad.exe asInvoker "$new_version"
check_resources veltactl.exe requireAdministrator "$new_version"
[ "$(registration)" = "$msi_registration" ] || fail "the upgrade changed the registration: $(registration)"
echo "   INI, activity log and registration kept"
# Switched on before the upgrade, running after it, without a restart.
wait_state RUNNING 20
velta_run_wine "$dir/veltaping.exe" -n 1 -w 2000 "127.0.0.1:$port"
[ $rc -eq 0 ] || fail "the installed veltaping.exe got no echo after the upgrade: $out"
echo "   $(head -1 <<<"$out")"

step "msiexec /x $(basename "$new_msi") /qn while the service runs"
velta_run_wine msiexec /x "$new_msi" /qn
[ $rc -eq 0 ] || fail "msiexec /x exited with $rc: $out"
velta_run_wine "$scm" state
grep -q 'OpenServiceA failed: 1060' <<<"$out" || fail "the service is still registered: $out"
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VeltaService' >/dev/null 2>&1 &&
  fail "the event source is still registered"
for f in veltad.exe veltactl.exe veltaping.exe; do [ ! -e "$dir/$f" ] || fail "$f is still there"; done
[ ! -e "$shortcut" ] || fail "the shortcut is still there"
[ "$(tail -1 "$log" | tr -d '\r' | sed 's/.* : //')" = "Zaustavljen." ] || fail "the service did not stop cleanly"
cmp -s "$ini" "$work/ini.before" || fail "the uninstall changed veltactl.ini"
echo "   service, event source, programs and shortcut removed; veltactl.ini and veltactl.log kept"

step "veltad.exe /install from the same place registers the same"
cp "$bin/veltad.exe" "$dir/veltad.exe"
velta_run_wine "$dir/veltad.exe" /install /silent
[ $rc -eq 0 ] || fail "/install exited with $rc: $out"
own_registration=$(registration)
velta_run_wine "$dir/veltad.exe" /uninstall /silent
# Wine's installer writes the image path without the quotes that /install
# puts around a path with blanks; everything else must be the same.
diff <(echo "$msi_registration") <(tr -d '"' <<<"$own_registration") >&2 ||
  fail "the installer and /install register differently"
echo "   the same registration both ways"

echo "== installer end-to-end: passed in $((SECONDS - started)) s"
