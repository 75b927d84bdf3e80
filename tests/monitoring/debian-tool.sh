#!/usr/bin/env bash
# Runs one of Debian's Prometheus programs. Without it a test is skipped (exit 77, with the
# reason), except in CI, where every test runs.
if ! command -v "$1" >/dev/null; then
    echo "$1 is not installed (scripts/install-deps.sh installs Debian's)" >&2
    [ "${CI:-}" = "true" ] && exit 1
    exit 77
fi
exec "$@"
