# Sourced by the scripts that start a virtual X server.
# claim_display [PREFIX...] sets display to a number no X server holds, by lock file or by socket
# (an X client tries the abstract socket before the file, so a server whose lock file is gone can
# still take the connections of a new one), and holds it by a lock on file descriptor 8 that every
# run of these scripts respects, until the caller and the server it starts (which inherits the lock)
# have ended, or until the next claim. PREFIX runs the look at the sockets in the network namespace
# the server will run in (e.g. ip netns exec NS).
claim_display() {
    local sockets lock
    exec 8<&-
    sockets=$("$@" cat /proc/net/unix)
    for display in $(seq 187 1187); do
        [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] ||
            grep -q "@/tmp/.X11-unix/X$display\$" <<<"$sockets" && continue
        lock=/run/lock/spanmon-display-$display
        [ -e "$lock" ] || : >"$lock"
        exec 8<"$lock"
        flock -n 8 && return 0
        exec 8<&-
    done
    echo "no X display is free" >&2
    return 1
}
