# Sourced by tests that run inside `with-desktop.sh --wayland`.
#
# grant_screen_cast [output]: lets Ventilux cast the output (default Meta-0, the
# first virtual monitor) without the desktop's chooser, the way a user's earlier
# "remember" would have: a restore token granted in the desktop's permission store,
# and the same token in Ventilux's settings under the output's display id.
# revoke_screen_cast: takes the permission back, leaving Ventilux's token stale.

readonly kPermissionStore=(--session --dest org.freedesktop.impl.portal.PermissionStore
    --object-path /org/freedesktop/impl/portal/PermissionStore
    --method org.freedesktop.impl.portal.PermissionStore)

# The display id Ventilux gives an output: FNV-1a of its name, as settings keep it.
display_id() {
    python3 -c '
import sys
h = 2166136261
for c in sys.argv[1].encode():
    h = ((h ^ c) * 16777619) & 0xffffffff
print(h or 1)' "$1"
}

grant_screen_cast() {
    local output=${1:-Meta-0} serial
    serial=$(printf '0x%02x' "${output#Meta-}")
    granted_token=$(cat /proc/sys/kernel/random/uuid)
    local now_us=$(($(date +%s) * 1000000))
    gdbus call "${kPermissionStore[@]}.SetValue" screencast true "$granted_token" \
        "<('GNOME', uint32 1, <(int64 $now_us, int64 $now_us, [(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:$serial'>)])>)>" >/dev/null
    gdbus call "${kPermissionStore[@]}.SetPermission" screencast true "$granted_token" "" "['yes']" >/dev/null
    mkdir -p "$XDG_CONFIG_HOME/ventilux"
    echo "screenCastRestoreToken.$(display_id "$output")=string:$granted_token" \
        >>"$XDG_CONFIG_HOME/ventilux/settings.ini"
}

revoke_screen_cast() {
    gdbus call "${kPermissionStore[@]}.Delete" screencast "$granted_token" >/dev/null
}
