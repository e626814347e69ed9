# Shared by the engines' tests: a free port on 127.0.0.1, an HTTP GET, and
# the serial numbers of a JSON document by device.

# A port nothing listens on now; a service that loses the race to it fails
# to start, and the caller tries again with another.
engine_free_port() {
  /usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

# The body of http://127.0.0.1:PORT/PATH, or status 1.
engine_get() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys, urllib.request
try:
    with urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/{sys.argv[2]}", timeout=5) as r:
        sys.stdout.write(r.read().decode("utf-8"))
except OSError:
    sys.exit(1)
PY
}

# "device<TAB>serial" per disk of a JSON document, the serial as JSON text
# (null where there is none).
engine_serials() { jq -r '.disks[] | [.device, (.serial | tojson)] | @tsv' "$1"; }

# "device<TAB>serial" per hdsn_disk_info sample of the exposition in FILE,
# as engine_serials writes them (an empty label is null). The labels are
# read by name: node_exporter sorts them.
engine_info_serials() {
  /usr/bin/python3 - "$1" <<'PY'
import json, re, sys
label = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')
for line in open(sys.argv[1], encoding="utf-8"):
    if line.startswith("hdsn_disk_info{"):
        labels = dict(label.findall(line[: line.rindex("}")]))
        serial = labels.get("serial", "")
        print(labels["device"] + "\t" + (json.dumps(serial) if serial else "null"))
PY
}
