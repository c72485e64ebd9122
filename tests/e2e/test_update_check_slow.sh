#!/usr/bin/env bash
# The update check against a server that accepts the connection and never answers: the error
# box shows after the download's 10 s limit. Kept apart so that each script stays well inside
# the time a test may take.
UPDATE_CHECK_CASES=slow source "$(dirname "${BASH_SOURCE[0]}")/test_update_check.sh"
