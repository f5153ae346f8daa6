#!/usr/bin/env bash
# veltactl's form at 96, 120 and 144 DPI under Wine and Xvfb: the prefix's
# LogPixels set for each, the main form checked in-process by
# form-layout-check.exe (every caption fits its control in its own font, no
# overlaps), veltactl.exe itself started to measure its form from outside;
# the form at 120 and 144 DPI must be 1.25 and 1.5 times the one at 96, and
# screenshots at 96 and 144 DPI are kept. LogPixels is set back to 96 at the
# end, also after a failure.
#
#   dialog_dpi_e2e.sh VELTACTL_EXE DIALOG_DRIVER_EXE FORM_LAYOUT_CHECK_EXE WORK_DIR ARTIFACT_DIR
set -uo pipefail

if [ $# -ne 5 ]; then
  echo "usage: dialog_dpi_e2e.sh VELTACTL_EXE DIALOG_DRIVER_EXE FORM_LAYOUT_CHECK_EXE WORK_DIR ARTIFACT_DIR" >&2
  exit 2
fi
built_veltactl=$1
driver=$2
check=$3
dir=$4/dialog-dpi
artifacts=$5
export LC_ALL=C

source "$(dirname "$0")/../../scripts/wine-session.sh"
velta_wine_join || exit 1

dialog_pid=
step_name=
started=$SECONDS
declare -A width height

step() {
  step_name=$1
  printf '== %s (%ds)\n' "$step_name" $((SECONDS - started))
}

fail() {
  echo "FAILED in step '$step_name': $*" >&2
  exit 1
}

set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 ||
    fail "cannot set LogPixels to $1"
}

cleanup() {
  local rc=$?
  if [ -n "$dialog_pid" ] && kill -0 "$dialog_pid" 2>/dev/null; then
    kill "$dialog_pid" 2>/dev/null
    wait "$dialog_pid" 2>/dev/null
  fi
  set_dpi 96
  velta_wine_leave
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

drive() {
  velta_run_wine "$driver" "$@"
  [ -n "$out" ] && sed 's/^/   /' <<<"$out"
  [ $rc -eq 0 ] || fail "dialog-driver $* exited with $rc"
}

# Whether a is factor times b, give or take a pixel or two of rounding.
about() {
  awk -v a="$1" -v b="$2" -v f="$3" 'BEGIN { d = a - b * f; exit !(d >= -3 && d <= 3) }'
}

step "prerequisites"
for program in "$built_veltactl" "$driver" "$check"; do [ -f "$program" ] || fail "$program is missing"; done
if wine "$driver" read title >/dev/null 2>&1; then fail "a veltactl.exe already runs in this Wine session"; fi
rm -rf "$dir"
mkdir -p "$dir" "$artifacts" || fail "cannot create $dir"
cp "$built_veltactl" "$dir/veltactl.exe" || fail "cannot copy veltactl.exe"

for dpi in 96 120 144; do
  step "$dpi DPI"
  set_dpi "$dpi"
  velta_run_wine "$check"
  sed 's/^/   /' <<<"$out"
  [ $rc -eq 0 ] || fail "form-layout-check at $dpi DPI"
  grep -q "dpi $dpi\$" <<<"$out" || fail "the form was not built at $dpi DPI"
  wine "$dir/veltactl.exe" >"$dir/veltactl-$dpi.out" 2>&1 &
  dialog_pid=$!
  drive wait-window 30
  drive status 15
  drive geometry
  read -r _ width[$dpi] height[$dpi] <<<"$(grep '^client ' <<<"$out")"
  if [ "$dpi" != 120 ]; then
    sleep 0.5
    import -window root "$artifacts/dialog_dpi$dpi.png" || fail "no screenshot"
    echo "   screenshot: $artifacts/dialog_dpi$dpi.png"
  fi
  drive esc 15
  wait "$dialog_pid"
  dialog_pid=
done

step "the form grows with the DPI, in proportion"
for dpi in 120 144; do
  factor=$(awk -v d="$dpi" 'BEGIN { print d / 96 }')
  about "${width[$dpi]}" "${width[96]}" "$factor" && about "${height[$dpi]}" "${height[96]}" "$factor" ||
    fail "at $dpi DPI the form is ${width[$dpi]} x ${height[$dpi]}, at 96 DPI ${width[96]} x ${height[96]}"
  echo "   $dpi DPI: ${width[$dpi]} x ${height[$dpi]} = $factor x ${width[96]} x ${height[96]}"
done

echo "== dialog DPI end-to-end: passed in $((SECONDS - started)) s"
