#!/usr/bin/env bash
# cmake --install into a scratch prefix: the programs, the catalogue, and a menu
# entry whose command and icon are really installed.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
for program in VYR_Setting_Tool vyr_sim vyr-setting-tool; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing or not executable"
done
[ -s "$prefix/share/vyr-setting-tool/VYR_Setting_Tool_ja.qm" ] || fail "catalogue missing"

entry="$prefix/share/applications/vyr-setting-tool.desktop"
if [ -f "$entry" ]; then
  command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -n "$command" ] && [ -x "$prefix/bin/$command" ] || fail "Exec=$command is not an installed program"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -n "$icon" ] && ls "$prefix"/share/icons/hicolor/*/apps/"$icon".* >/dev/null 2>&1 ||
    fail "Icon=$icon is not installed"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "the menu entry does not validate"
  fi
else
  fail "menu entry missing"
fi

# The Python module, where Debian's python3 looks for locally installed packages.
if [ -d "$build/python/vyr" ]; then
  site=$(echo "$prefix"/lib/python3.*/dist-packages)
  [ -f "$site/vyr/__init__.py" ] && ls "$site"/vyr/_vyr.*.so >/dev/null 2>&1 ||
    fail "the Python module is not in $site"
  (cd "$prefix" && PYTHONPATH="$site" PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c \
    'import vyr, sys; sys.exit(not vyr.__file__.startswith(sys.argv[1]))' "$site") ||
    fail "python3 does not import vyr from $site"
fi

[ "$failures" -eq 0 ] || exit 1
echo "install: all checks passed"
