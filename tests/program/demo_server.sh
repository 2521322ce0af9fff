# Sourced by the program tests: a new demo server in a folder of its own, removed at the end,
# with the settings and the log beside it, and no display.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export STACKWRIGHT_DM_SERVER="$work/server" XDG_CONFIG_HOME="$work/config" TEMP="$work"
export QT_QPA_PLATFORM=offscreen
"$dm_tool" init "$STACKWRIGHT_DM_SERVER" --demo >/dev/null
