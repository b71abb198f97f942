#!/usr/bin/env bash
# Closing the window at each kind of prompt of the adventure, and during END, ends the process with status 0.
source "$(dirname "$0")/lib.sh"
python3 "$SOURCE_DIR/tools/e2e/adventure_play.py" close --build-dir "$BUILD_DIR" || fail "adventure close"
