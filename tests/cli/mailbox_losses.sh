#!/usr/bin/env bash
# Losses by mailbox: a generated Zarafa folder with one leaf page of `hierarchy` and two of
# `properties` zeroed, as a disk that lost its blocks leaves them. The run completes with losses,
# and its report's mailbox section must agree with the truth, object by object: every message,
# folder and attachment whose hierarchy row was on the zeroed page (and that a surviving row still
# names), every object that lost properties rows, every object whose parent row is gone, each in
# the mailbox the truth puts it in, or under the unknown mailbox when no surviving row ties it to
# a store. Every mailbox line in the summary names its user, and the messages it says were lost in
# a folder are those the truth puts in that folder, under the folder's name in the truth.
#
#   mailbox_losses.sh ZARAFA_REPAIR FIXTURE
set -euo pipefail
. "$(dirname "$0")/repair_run.sh"
damage="$here/../fixtures/damage_pages.py"
python3 "$damage" "$input/ibdata1" --truth "$fixture/truth" --report "$work/hierarchy" \
    --table hierarchy --pages 1 --zero --at 0.3
python3 "$damage" "$input/ibdata1" --truth "$fixture/truth" --report "$work/properties" \
    --table properties --pages 2 --zero --at 0.6

run_repair 4

python3 - "$fixture" "$work" <<'PY'
import json, os, sys
from collections import Counter

fixture, work = sys.argv[1], sys.argv[2]
report = json.load(open(os.path.join(work, "report.json"), encoding="utf-8"))
stdout = open(os.path.join(work, "stdout"), encoding="utf-8").read()
TYPES = {"1": "store", "3": "folder", "5": "message", "7": "attachment"}

def rows(path):
    lines = open(path, encoding="utf-8", newline="\n").read().split("\n")[:-1]
    header = lines[0].split("\t")
    return [dict(zip(header, line.split("\t"))) for line in lines[1:]]

truth = lambda table: rows(os.path.join(fixture, "truth", table + ".tsv"))
hierarchy = {int(r["id"]): r for r in truth("hierarchy")}
users = {int(r["hierarchy_id"]): bytes.fromhex(r["user_name"]).decode("utf-8")
         for r in truth("stores")}
lost_rows = {int(r["id"]) for r in rows(os.path.join(work, "hierarchy", "lost", "hierarchy.tsv"))}
lost_properties = Counter(int(r["hierarchyid"])
                          for r in rows(os.path.join(work, "properties", "lost", "properties.tsv")))

names = {int(r["hierarchyid"]): bytes.fromhex(r["val_string"]).decode("utf-8")
         for r in truth("properties") if r["tag"] == "12289" and r["val_string"] != "\\N"}

def store_of(object_id):
    while object_id not in users:
        parent = hierarchy[object_id]["parent"]
        if parent == "\\N":
            return None
        object_id = int(parent)
    return object_id

# A lost row can only be told when a surviving row names its object.
surviving = {"properties": "hierarchyid", "tproperties": "hierarchyid",
             "singleinstances": "hierarchyid", "mvproperties": "hierarchyid",
             "indexedproperties": "hierarchyid"}
named = set()
properties_lost_keys = {(r["hierarchyid"], r["tag"], r["type"])
                        for r in rows(os.path.join(work, "properties", "lost", "properties.tsv"))}
for table, column in surviving.items():
    for r in truth(table):
        if table == "properties" and (r["hierarchyid"], r["tag"], r["type"]) in properties_lost_keys:
            continue
        named.add(int(r[column]))
        if table == "tproperties":
            named.add(int(r["folderid"]))
for object_id, r in hierarchy.items():
    if object_id not in lost_rows and r["parent"] != "\\N":
        named.add(int(r["parent"]))
named.update(users)

expected = set()  # (id, type, loss, store)
for object_id in lost_rows & named:
    expected.add((object_id, TYPES.get(hierarchy[object_id]["type"], "unknown"), "row"))
for object_id in lost_properties:
    if object_id in hierarchy and object_id not in lost_rows \
            and hierarchy[object_id]["type"] in ("3", "5", "7"):
        expected.add((object_id, TYPES[hierarchy[object_id]["type"]], "properties"))
for object_id, r in hierarchy.items():
    if object_id not in lost_rows and r["parent"] != "\\N" and int(r["parent"]) in lost_rows:
        expected.add((object_id, TYPES.get(r["type"], "unknown"), "parent"))

failures = []
section = report.get("mailboxLosses")
if section is None or not section["available"]:
    failures.append("no mailbox section in the report: %s" % section)
    section = {"mailboxes": []}
got = set()
unknown = 0
folders_checked = 0
for mailbox in section["mailboxes"]:
    if mailbox["store"] is not None and mailbox["user"] != users.get(mailbox["store"]):
        failures.append("store %s is named %s, the truth says %s"
                        % (mailbox["store"], mailbox["user"], users.get(mailbox["store"])))
    if mailbox["line"] not in stdout:
        failures.append("the summary lacks the line %r" % mailbox["line"])
    counts = Counter((o["type"], o["lost"]) for o in mailbox["objects"])
    for kind in ("message", "folder", "attachment"):
        for loss, field in (("row", "lost"), ("properties", "incomplete")):
            if mailbox[kind + "s"][field] != counts[(kind, loss)]:
                failures.append("%s: %d %ss %s counted, %d named" % (
                    mailbox["line"], mailbox[kind + "s"][field], kind, field, counts[(kind, loss)]))
    if mailbox["orphans"] != sum(1 for o in mailbox["objects"] if o["lost"] == "parent"):
        failures.append("%s: orphans counted and named differ" % mailbox["line"])
    # The messages lost in each folder: the truth's parents of the lost rows, by name.
    in_folder = Counter(int(hierarchy[o["id"]]["parent"]) for o in mailbox["objects"]
                        if o["type"] == "message" and o["lost"] == "row")
    told = 0
    for entry in mailbox["messagesLostIn"]:
        told += entry["messages"]
        if entry["folder"] is None:
            continue
        folders_checked += 1
        if entry["messages"] != in_folder[entry["folder"]]:
            failures.append("%s: %d messages lost in folder %d, the truth says %d" % (
                mailbox["line"], entry["messages"], entry["folder"], in_folder[entry["folder"]]))
        if entry["name"] is not None and entry["name"] != names.get(entry["folder"]):
            failures.append("folder %d is called %r, the truth says %r"
                            % (entry["folder"], entry["name"], names.get(entry["folder"])))
    if told != mailbox["messages"]["lost"]:
        failures.append("%s: %d messages lost by folder, %d in all"
                        % (mailbox["line"], told, mailbox["messages"]["lost"]))
    for o in mailbox["objects"]:
        got.add((o["id"], o["type"], o["lost"]))
        if o["lost"] == "row" and "folder" in o \
                and str(o["folder"]) != hierarchy[o["id"]]["parent"]:
            failures.append("object %d is put in folder %s, the truth says %s"
                            % (o["id"], o["folder"], hierarchy[o["id"]]["parent"]))
        if mailbox["store"] is None:
            unknown += 1
        elif store_of(o["id"]) != mailbox["store"]:
            failures.append("object %d is put in the mailbox of %s, the truth says %s"
                            % (o["id"], mailbox["user"], users.get(store_of(o["id"]))))
for item in sorted(expected - got)[:10]:
    failures.append("not named: %s %d (%s)" % (item[1], item[0], item[2]))
for item in sorted(got - expected)[:10]:
    failures.append("named but not lost: %s %d (%s)" % (item[1], item[0], item[2]))
affected_users = {users[s] for s in (store_of(i) for i, _, _ in expected) if s in users}
named_users = {m["user"] for m in section["mailboxes"] if m["store"] is not None}
if not named_users:
    failures.append("no user is named, though %s lost mail" % sorted(affected_users))
if not named_users <= affected_users:
    failures.append("users named without losses: %s" % sorted(named_users - affected_users))
if section.get("hierarchyRangesLost", 0) < 1 or section.get("propertyRangesLost", 0) < 1:
    failures.append("the lost key ranges are not counted: %s" % section)
if failures:
    print("\n".join(failures), file=sys.stderr)
    sys.exit(1)
print("%d objects named in %d mailboxes (%d under the unknown mailbox), messages lost in %d "
      "folders, as the truth says" % (len(got), len(section["mailboxes"]), unknown, folders_checked))
PY
