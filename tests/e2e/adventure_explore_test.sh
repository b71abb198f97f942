#!/usr/bin/env bash
# Plays the adventure until every branch of the story has been seen (a few whole play-throughs under the sanitizers).
source "$(dirname "$0")/lib.sh"
python3 "$SOURCE_DIR/tools/e2e/adventure_play.py" explore --budget-s 200 --build-dir "$BUILD_DIR" || fail "adventure explore"
