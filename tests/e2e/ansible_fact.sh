#!/usr/bin/env bash
# Ansible's local fact: the package's hdsn_disks.fact in a fact folder, and
# ansible-core's setup module run on localhost (local connection) with that
# folder, find ansible_local.hdsn_disks.disks[*].serial equal to the
# program's own. The fact calls hdsn-disks through PATH, which leads to the
# installed program first.
#   ansible_fact.sh ROOT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/engine_lib.sh"
root=$1
command -v ansible >/dev/null || { echo "ansible is missing (package ansible-core)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/facts.d" "$work/home"
: >"$work/ansible.cfg"
cp "$root/etc/ansible/facts.d/hdsn_disks.fact" "$work/facts.d/"
export PATH=$root/usr/bin:$PATH HOME=$work/home LC_ALL=C.UTF-8
# The tree callback writes each host's result as JSON into a folder.
export ANSIBLE_LOCAL_TEMP=$work/home/tmp ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_NOCOLOR=1 \
  ANSIBLE_LOAD_CALLBACK_PLUGINS=1 ANSIBLE_CALLBACKS_ENABLED=tree ANSIBLE_CALLBACK_TREE_DIR=$work/tree

hdsn-disks --json >"$work/disks.json" || (($? == 1))
ansible localhost -c local -i localhost, -m setup \
  -a "fact_path=$work/facts.d filter=ansible_local" >"$work/setup.txt" ||
  { echo "ansible setup failed:"; cat "$work/setup.txt"; exit 1; }
jq .ansible_facts.ansible_local.hdsn_disks "$work/tree/localhost" >"$work/fact.json"
if [[ $(jq -r 'type' "$work/fact.json") != object ]]; then
  echo "FAIL: no ansible_local.hdsn_disks document:"
  cat "$work/setup.txt"
  exit 1
fi
expected=$(engine_serials "$work/disks.json")
found=$(engine_serials "$work/fact.json")
if [[ $expected != "$found" ]]; then
  echo "FAIL: ansible_local.hdsn_disks.disks[*].serial differs from the program's"
  diff <(echo "$expected") <(echo "$found") || true
  exit 1
fi
echo "ansible_local.hdsn_disks: $(jq '.disks | length' "$work/fact.json") disks, serials as the program's:"
echo "$found"
