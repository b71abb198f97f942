#!/usr/bin/env bash
# Menu answers other than 1, 2 and 3 show the menu again; the final question takes only the opening item in its own letter case.
source "$(dirname "$0")/lib.sh"
python3 "$SOURCE_DIR/tools/e2e/adventure_play.py" checks --build-dir "$BUILD_DIR" || fail "adventure menus"
