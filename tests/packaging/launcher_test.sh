#!/usr/bin/env bash
# The menu launcher against a stand-in program that reports where it was started.
set -euo pipefail
launcher=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
mkdir -p "$prefix/bin" "$prefix/share/vyr-setting-tool" "$prefix/home"
cp "$launcher" "$prefix/bin/vyr-setting-tool"
echo catalogue >"$prefix/share/vyr-setting-tool/VYR_Setting_Tool_ja.qm"
cat >"$prefix/bin/VYR_Setting_Tool" <<'TOOL'
#!/bin/sh
pwd
printf '%s\n' "$@"
TOOL
chmod +x "$prefix/bin/VYR_Setting_Tool" "$prefix/bin/vyr-setting-tool"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
start() { # locale, then arguments; runs from / as a menu may
  local locale=$1
  shift
  (cd / && env -u XDG_DATA_HOME -u LC_ALL -u LC_MESSAGES HOME="$prefix/home" LANG="$locale" \
    "$prefix/bin/vyr-setting-tool" "$@")
}
work="$prefix/home/.local/share/vyr-setting-tool"
link="$work/VYR_Setting_Tool_ja.qm"

# Working directory and arguments.
output=$(start C.UTF-8 -style fusion)
[ "$(sed -n 1p <<<"$output")" = "$work" ] || fail "started in $(sed -n 1p <<<"$output"), not $work"
[ "$(sed -n 2,3p <<<"$output" | tr '\n' ' ')" = "-style fusion " ] || fail "arguments lost: $output"
[ ! -e "$link" ] || fail "catalogue placed for a non-Japanese locale"

# A Japanese locale links the installed catalogue; another locale takes the link away.
start ja_JP.UTF-8 >/dev/null
[ "$(cat "$link" 2>/dev/null)" = catalogue ] || fail "no catalogue for ja_JP.UTF-8"
start en_GB.UTF-8 >/dev/null
[ ! -e "$link" ] && [ ! -L "$link" ] || fail "catalogue link left for en_GB.UTF-8"

# A catalogue the user put there is theirs, whatever the locale.
echo mine >"$link"
start C >/dev/null
start ja_JP >/dev/null
[ "$(cat "$link")" = mine ] || fail "the user's own catalogue was replaced or removed"

# XDG_DATA_HOME decides where the folder goes.
output=$(cd / && HOME="$prefix/home" XDG_DATA_HOME="$prefix/data" LANG=C "$prefix/bin/vyr-setting-tool")
[ "$(sed -n 1p <<<"$output")" = "$prefix/data/vyr-setting-tool" ] || fail "XDG_DATA_HOME ignored"

[ "$failures" -eq 0 ] || exit 1
echo "launcher: all checks passed"
