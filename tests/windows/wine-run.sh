#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, without debug output or installer
# prompts. The prefix is made on first use (that takes a while) and reused afterwards.
set -euo pipefail
export WINEPREFIX="${ZP_WINEPREFIX:-${TMPDIR:-/tmp}/zonepainter-wine-$(id -u)}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko: console programs only
unset DISPLAY
wine="${ZP_WINE:-/usr/lib/wine/wine64}"
if [[ ! -x "$wine" ]]; then
  echo "wine-run.sh: $wine not found (install wine64)" >&2
  exit 127
fi
mkdir -p "$WINEPREFIX"
exec "$wine" "$@"
