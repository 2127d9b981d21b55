#!/usr/bin/env bash
# Saves a picture of Ventilux in a real tray: xfce4-panel on a private,
# headless desktop with the icon, and a second one with its menu open.
#   scripts/tray-screenshot.sh [BUILD_DIR] [OUT_PREFIX]
#   -> OUT_PREFIX-icon.png and OUT_PREFIX-menu.png (default: ./ventilux-tray)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=$(realpath -m "${2:-ventilux-tray}")
if [ "${VENTILUX_IN_DESKTOP:-0}" != 1 ]; then
    VENTILUX_IN_DESKTOP=1 exec "$root/tests/integration/with-desktop.sh" --x --dbus -- "$0" "$build" "$out"
fi
command -v xfce4-panel >/dev/null || { echo "tray-screenshot: install xfce4-panel" >&2; exit 1; }

# shellcheck source=lib/poll.sh
source "$root/scripts/lib/poll.sh"
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT

# One panel along the top holding only the tray, so the icon sits at a known spot.
config="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
mkdir -p "$config"
cat >"$config/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML

xfce4-panel --disable-wm-check >/dev/null 2>&1 &
watcher_up() { gdbus introspect --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher >/dev/null 2>&1; }
within 20 watcher_up || { echo "tray-screenshot: xfce4-panel did not start" >&2; exit 1; }
"$build/src/ventilux" &
registered() {
    gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>/dev/null | grep -q "'"
}
within 20 registered || { echo "tray-screenshot: the icon never reached the tray" >&2; exit 1; }
sleep 1 # the panel draws the new icon on its next frame
shot() { ffmpeg -v error -y -f x11grab -video_size 420x720 -i "$DISPLAY+0,0" -frames:v 1 "$1"; }
shot "$out-icon.png"
xdotool mousemove 14 16 click 1 mousemove 400 700
sleep 1 # the menu opens after the panel asks for it over the bus
shot "$out-menu.png"
echo "tray-screenshot: wrote $out-icon.png and $out-menu.png"
