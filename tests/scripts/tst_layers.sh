#!/usr/bin/env bash
# The folders are layers: core/ sees neither links nor widgets; a link sees core/ and itself;
# ui/ sees core/ and itself; only app/ sees everything. Prints every include that breaks this.
set -euo pipefail
root=${1:?usage: tst_layers.sh SOURCE_DIR [SPANMON]}
spanmon=${2:+$(realpath "$2")}
cd "$root"

allowed() { # folder -> project folders it may include from
    case $1 in
    core) echo "core" ;;
    links/serial) echo "core links/serial" ;;
    links/snmp) echo "core links/snmp" ;;
    ui) echo "core ui" ;;
    esac
}

# Qt modules a layer may use; Qt Core is everyone's.
forbidden_qt() {
    case $1 in
    core) echo "QtWidgets QtGui QtNetwork QtSerialPort" ;;
    links/serial) echo "QtWidgets QtGui QtNetwork" ;;
    links/snmp) echo "QtWidgets QtGui QtSerialPort" ;;
    ui) echo "QtNetwork QtSerialPort" ;;
    esac
}

broken=0
for layer in core links/serial links/snmp ui; do
    [ -d "$layer" ] || { echo "missing layer folder: $layer"; broken=1; continue; }
    while IFS= read -r hit; do
        file=${hit%%:*}
        included=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${hit#*:}")
        ok=0
        for folder in $(allowed "$layer"); do
            [[ $included == "$folder"/* ]] && ok=1
        done
        # Includes without a folder name the file's neighbours or a library's own headers.
        [[ $included != */* ]] && ok=1
        if [ $ok -eq 0 ]; then
            echo "$file includes $included"
            broken=1
        fi
    done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include "' "$layer" --include='*.h' --include='*.cpp' || true)
done

# Qt modules, by the headers each layer may use: a widget below ui/, a socket in core/.
widgets='QWidget|QDialog|QLabel|QPushButton|QLineEdit|QCheckBox|QComboBox|QListWidget|QProgressBar|QApplication|QMessageBox|QFileDialog|QPixmap|QFont|QColor|QPainter|QImage'
network='QHostAddress|QHostInfo|QNetworkInterface|QUdpSocket|QTcpSocket|QLocalSocket'
serial='QSerialPort|QSerialPortInfo'
check_qt() { # layer, pattern, what
    local hits
    hits=$(grep -rHE "^[[:space:]]*#[[:space:]]*include <($2)>" "$1" --include='*.h' --include='*.cpp' || true)
    if [ -n "$hits" ]; then
        sed "s|\$|  ($3 in $1)|" <<<"$hits"
        broken=1
    fi
}
check_qt core "$widgets" widgets
check_qt core "$network" "Qt Network"
check_qt core "$serial" "Qt Serial Port"
check_qt links "$widgets" widgets
check_qt links/serial "$network" "Qt Network"
check_qt links/snmp "$serial" "Qt Serial Port"
check_qt ui "$network|$serial" "a link's I/O"
# Qt Charts draws the History window; nothing below the widgets draws.
charts='QtCharts/[A-Za-z]+|QChart|QChartView|QLineSeries|QValueAxis|QDateTimeAxis|QXYSeries'
check_qt core "$charts" "Qt Charts"
check_qt links "$charts" "Qt Charts"
# The History window is a module Spanmon loads when the window first opens (ui/HistoryView.h): Qt
# Charts and the window's class stay in its files, or the program would link them again.
charted=$(grep -rlE "^[[:space:]]*#[[:space:]]*include (<($charts)>|\"ui/HistoryWindow.h\")" core links ui app \
    --include='*.h' --include='*.cpp' | grep -vxE 'ui/HistoryWindow\.(h|cpp)' || true)
if [ -n "$charted" ]; then
    echo "Qt Charts or the History window outside its module: $charted"
    broken=1
fi

# The network link's settings are the link's own: Link.ini's sections are read and written in
# links/snmp/, and the window shows the settings page the link gives through core/.
sections=$(grep -rlE '"(IPAdress|Community|SNMPv3)"' core ui app --include='*.h' --include='*.cpp' || true)
if [ -n "$sections" ]; then
    echo "Link.ini read or written outside links/snmp: $sections"
    broken=1
fi

# DeviceState holds the device record, no link's own state: every field is used outside links/
# or by both links.
fields=$(sed -n '/^struct DeviceState {/,/^};/p' core/DeviceState.h | grep -E '^    [^ /].*;' | grep -v '(' |
    sed -E 's://.*$::; s/ = .*$//; s/\{\}//; s/;.*$//' | awk '{print $NF}')
uses() { # field, folders...
    local field=$1
    shift
    grep -rqE "(\.|->)$field\b" "$@" --include='*.h' --include='*.cpp' --exclude='DeviceState.*'
}
# The unit's identity, which each link fills as it reads it.
identity=" modelName "
owned=""
for field in $fields; do
    [[ $identity == *" $field "* ]] && continue
    uses "$field" core ui app cli && continue
    uses "$field" links/serial && uses "$field" links/snmp && continue
    owned="$owned $field"
done
if [ -n "$owned" ]; then
    echo "DeviceState fields only one link uses:$owned"
    broken=1
fi

# net-snmp's headers stay inside the SNMP link's wrapper, which is a module of its own that Spanmon
# loads at its first exchange over the network (links/snmp/SnmpAgent.h): nothing else includes it,
# or the program would link it again.
netsnmp=$(grep -rlE '#include <net-snmp/' --include='*.h' --include='*.cpp' . | grep -v '^./links/snmp/NetSnmpAgent.cpp$' | grep -v '^./sim/' | grep -v '^./bench/' || true)
if [ -n "$netsnmp" ]; then
    echo "net-snmp included outside links/snmp/NetSnmpAgent.cpp: $netsnmp"
    broken=1
fi

# A link tells the core what happened (DeviceView, OperatorFeedback); the window's controls are
# DeviceView's alone. The network link's settings page fills the fields of the dialog that shows
# it (ctl::link), never the main window's.
controls=$(grep -rHE '#[[:space:]]*include "core/ControlIds\.h"|ctl::' links --include='*.h' --include='*.cpp' |
    grep -vE 'ctl::link\b' || true)
if [ -n "$controls" ]; then
    sed "s|\$|  (the main window's controls in a link)|" <<<"$controls"
    broken=1
fi

# What the modules hold, the program itself must not load at start.
if [ -n "$spanmon" ]; then
    loaded=$(readelf -d "$spanmon" | grep NEEDED | grep -oE 'lib(netsnmp|ssl|crypto|Qt6Charts)[^]]*' || true)
    if [ -n "$loaded" ]; then
        echo "$spanmon loads at start what its modules hold: $loaded"
        broken=1
    fi
fi

[ $broken -eq 0 ] && echo "layers hold"
exit $broken
