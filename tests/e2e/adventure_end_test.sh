#!/usr/bin/env bash
# END keeps the screen, writes its message on row 25, ignores keys typed before it and ends with status 0 on the next key.
source "$(dirname "$0")/lib.sh"
python3 "$SOURCE_DIR/tools/e2e/adventure_play.py" end --build-dir "$BUILD_DIR" || fail "adventure end"
