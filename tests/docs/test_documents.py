#!/usr/bin/python3
"""Every document the plugin sends, checked against its JSON Schema in docs/schemas/.

Plays the golden scenarios and a generated scenario that reaches every shape of every document
(tests/docs/make_scenario.py) through korvel-replay, and validates every payload against the
schema named after its "type" member (legacy.schema.json when it has none). Then proves the
schemas are neither vacuous nor looser than the documents: every member a schema describes is
seen in the output, every optional one is seen missing too, and documents mutated one member at a
time (a member added, removed, retyped, out of range) are rejected.

    /usr/bin/python3 tests/docs/test_documents.py --replay PATH --source DIR [unittest options]

Run by /usr/bin/python3: Debian's python3-jsonschema is installed for the system's Python.
"""

import argparse
import copy
import glob
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

import jsonschema

ARGS = None
DOC_TYPES = ["flow", "flow_dpi_update", "flow_dpi_complete", "flow_purge", "flow_stats",
             "agent_hello", "agent_status", "interfaces", "endpoints", "interface_stats",
             "global_stats", "legacy"]
LEGACY_SOCKET_FLAGS = 0x18
STATUS_KEYS = {"timestamp", "update_interval", "update_imf", "uptime", "cpu_cores", "cpu_user",
               "cpu_user_prev", "cpu_system", "cpu_system_prev", "flow_count", "flow_count_prev",
               "flows_purged", "flows_expiring", "flows_expired", "flows_active", "flows_in_use",
               "flows_probation_expired", "flows_evicted", "maxrss_kb", "maxrss_kb_prev",
               "memrss_kb", "memrss_kb_prev", "dhc_status", "fhc_status"}


def _is_integer(_checker, instance):
    return isinstance(instance, int) and not isinstance(instance, bool)


_BASE_TYPE = jsonschema.Draft202012Validator.VALIDATORS["type"]


def _strict_type(validator, types, instance, schema):
    yield from _BASE_TYPE(validator, types, instance, schema)
    # The plugin writes its floating-point members as doubles, always with a fraction or an
    # exponent; an integer there means an encoder wrote the wrong type.
    if types == "number" and not isinstance(instance, float):
        yield jsonschema.ValidationError("%r is not written as a floating-point number" %
                                         (instance,))


# Integers must be written as integers (5, never 5.0), floating-point members as doubles.
StrictValidator = jsonschema.validators.extend(
    jsonschema.Draft202012Validator,
    validators={"type": _strict_type},
    type_checker=jsonschema.Draft202012Validator.TYPE_CHECKER.redefine("integer", _is_integer))


def load_schemas(source):
    schemas = {}
    for path in sorted(glob.glob(os.path.join(source, "docs", "schemas", "*.schema.json"))):
        with open(path, encoding="utf-8") as handle:
            schemas[os.path.basename(path)[:-len(".schema.json")]] = json.load(handle)
    return schemas


def doc_class(record):
    """The schema that covers a sink record's payload: its type, "legacy" without one; the
    "agent_status" shapes told apart by the legacy-socket flags."""
    payload = record["payload"]
    if not isinstance(payload, dict):
        return None
    doc_type = payload.get("type", "legacy")
    if doc_type == "agent_status":
        legacy = record["flags"] & LEGACY_SOCKET_FLAGS == LEGACY_SOCKET_FLAGS
        return "agent_status/legacy_socket" if legacy else "agent_status/stream_stats"
    return doc_type


def schema_name(cls):
    return cls.split("/")[0]


class Checker:
    """Validators per document class: the file's schema, or one branch of agent_status."""

    def __init__(self, schemas):
        self.schemas = schemas
        self.validators = {}
        for name, schema in schemas.items():
            StrictValidator.check_schema(schema)
            self.validators[name] = StrictValidator(schema)
        status = schemas.get("agent_status", {"$defs": {}})
        for branch in ("legacy_socket", "stream_stats"):
            branch_schema = {"$ref": "#/$defs/" + branch, "$defs": status["$defs"]}
            self.validators["agent_status/" + branch] = StrictValidator(branch_schema)

    def validator(self, cls):
        return self.validators.get(cls) or self.validators.get(schema_name(cls))

    def errors(self, cls, payload):
        validator = self.validator(cls)
        if validator is None:
            return ["no schema covers a document of type %r" % cls]
        return [error.message for error in validator.iter_errors(payload)]

    def accepts(self, cls, payload):
        return self.validator(cls).is_valid(payload)


def run_replay(args, stdin_text=None):
    # In the source tree, where golden argument files name their files by relative paths.
    result = subprocess.run([ARGS.replay, "-q"] + args, input=stdin_text, capture_output=True,
                            text=True, check=False, timeout=600, cwd=ARGS.source)
    if result.returncode != 0:
        raise AssertionError("korvel-replay %s exited with %d:\n%s" %
                             (" ".join(args), result.returncode, result.stderr))
    return [json.loads(line) for line in result.stdout.splitlines() if line.strip()]


def read_records(path):
    with open(path, encoding="utf-8") as handle:
        return [json.loads(line) for line in handle if line.strip()]


# ---- Where members stand: paths with map keys as "*" and array elements as "[]" ----------------

def map_key(cls, path, key):
    """A member's name as observed: "*" for the entries of maps."""
    if not is_map_node(cls, path):
        return key
    # The map documents carry their "type" beside the entries.
    return key if path == () and key == "type" else "*"


def is_map_node(cls, path):
    """Objects whose member names are interface names or addresses."""
    base = schema_name(cls)
    if base in ("interfaces", "endpoints", "interface_stats"):
        return path == ()
    if base == "legacy":
        return len(path) == 1 and path[0] in ("flows", "interfaces", "devices", "stats")
    return False


def walk_document(cls, value, path=(), concrete=()):
    """Yields (normalized path, member name or None, concrete path, object) for every object."""
    if isinstance(value, dict):
        yield path, value, concrete
        for key, item in value.items():
            name = map_key(cls, path, key)
            yield from walk_document(cls, item, path + (name,), concrete + (key,))
    elif isinstance(value, list):
        for index, item in enumerate(value):
            yield from walk_document(cls, item, path + ("[]",), concrete + (index,))


def resolve(schema, root):
    while "$ref" in schema:
        target = root
        for part in schema["$ref"].lstrip("#/").split("/"):
            target = target[part]
        merged = dict(target)
        merged.update({k: v for k, v in schema.items() if k != "$ref"})
        schema = merged
    return schema


def schema_members(schema, root, path=(), out=None):
    """{(normalized path, member): {"required": bool, "closed_value": bool}} of a schema."""
    if out is None:
        out = {}
    schema = resolve(schema, root)
    for keyword in ("anyOf", "oneOf", "allOf"):
        for branch in schema.get(keyword, []):
            schema_members(branch, root, path, out)
    required = set(schema.get("required", []))
    for key, sub in schema.get("properties", {}).items():
        resolved = resolve(sub, root)
        entry = out.setdefault((path, key), {"required": False, "closed_value": False})
        entry["required"] |= key in required
        entry["closed_value"] |= any(k in resolved for k in ("enum", "const", "pattern"))
        schema_members(sub, root, path + (key,), out)
    extra = schema.get("additionalProperties")
    if isinstance(extra, dict):
        out.setdefault((path, "*"), {"required": False, "closed_value": False})
        schema_members(extra, root, path + ("*",), out)
    items = schema.get("items")
    if isinstance(items, dict):
        schema_members(items, root, path + ("[]",), out)
    return out


def class_schema(schemas, cls):
    schema = schemas[schema_name(cls)]
    if "/" in cls:
        return schema["$defs"][cls.split("/")[1]], schema
    return schema, schema


class Observations:
    """Which members were seen, and how often their object was seen without them."""

    def __init__(self):
        self.objects = {}   # (cls, path) -> objects seen
        self.present = {}   # (cls, path, member) -> objects that had it
        self.example = {}   # (cls, path, member) -> (payload, concrete path of its object)

    def add(self, cls, payload):
        size = len(json.dumps(payload))
        for path, obj, concrete in walk_document(cls, payload):
            self.objects[(cls, path)] = self.objects.get((cls, path), 0) + 1
            for key in obj:
                index = (cls, path, map_key(cls, path, key))
                self.present[index] = self.present.get(index, 0) + 1
                previous = self.example.get(index)
                if previous is None or size < previous[2]:
                    self.example[index] = (payload, concrete + (key,), size)


# ---- Mutations --------------------------------------------------------------------------------

def focus(value, concrete):
    """A copy of the document reduced to the elements and map entries on one path, so that a
    mutation is checked on a small document."""
    if not concrete:
        return copy.deepcopy(value), ()
    head, rest = concrete[0], concrete[1:]
    if isinstance(value, list):
        item, new_rest = focus(value[head], rest)
        return [item], (0,) + new_rest
    result = {}
    for key, item in value.items():
        if key == head:
            result[key], new_rest = focus(item, rest)
        else:
            result[key] = copy.deepcopy(item)
    return result, (head,) + new_rest


def reduce_maps(cls, document, concrete):
    """Drops the other entries of maps along the path (a map may hold any number of entries)."""
    node = document
    path = ()
    for step in concrete:
        if isinstance(node, dict) and is_map_node(cls, path):
            for key in [k for k in node if k != step and map_key(cls, path, k) == "*"]:
                del node[key]
        if isinstance(node, dict):
            path = path + (map_key(cls, path, step),)
        else:
            path = path + ("[]",)
        node = node[step]
    return document


def wrong_values(value, closed_value, signed):
    """Values of the wrong type or out of range for a member holding value."""
    if isinstance(value, bool):
        return [str(value).lower(), int(value), None]
    if isinstance(value, int):
        wrong = [str(value), value + 0.5, True, None, 2 ** 64]
        if not signed:
            wrong.append(-1)
        else:
            wrong.append(-2 ** 63 - 1)
        return wrong
    if isinstance(value, float):
        wrong = [str(value), True, None]
        if closed_value:
            wrong.append(value + 1.0)
        return wrong
    if isinstance(value, str):
        wrong = [0, None, [value]]
        if closed_value:
            wrong.append(value + "~")
        return wrong
    if value is None:
        return [0, "null", []]
    if isinstance(value, list):
        element = "~" if value and not isinstance(value[0], str) else 0
        return [[], value + [element], "~", {}]
    if isinstance(value, dict):
        return [[], "~", 0]
    raise AssertionError("unexpected value %r" % (value,))


def without_timestamp(record):
    record = copy.deepcopy(record)
    if isinstance(record.get("payload"), dict):
        record["payload"].pop("timestamp", None)
    return record


class DocumentsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.schemas = load_schemas(ARGS.source)
        cls.checker = Checker(cls.schemas)
        cls.records = {}   # origin -> records
        scenarios = os.path.join(ARGS.source, "tests", "scenarios")
        for expected in sorted(glob.glob(os.path.join(scenarios, "*.expected.jsonl"))):
            name = os.path.basename(expected)[:-len(".expected.jsonl")]
            cls.records["golden %s (expected)" % name] = read_records(expected)
            args = []
            args_file = os.path.join(scenarios, name + ".args")
            if os.path.exists(args_file):
                # Lines starting with "#" are comments; "{source}" stands for the source tree.
                with open(args_file, encoding="utf-8") as handle:
                    words = " ".join(line for line in handle if not line.startswith("#"))
                args = words.replace("{source}", ARGS.source).split()
            else:
                args = [os.path.join(scenarios, name + ".jsonl")]
            cls.records["golden %s (played)" % name] = run_replay(args)
        examples = os.path.join(ARGS.source, "docs", "examples", "documents.jsonl")
        cls.records["documents.md examples (played)"] = run_replay([examples])
        generator = os.path.join(ARGS.source, "tests", "docs", "make_scenario.py")
        scenario = subprocess.run([sys.executable, generator], capture_output=True, text=True,
                                  check=True).stdout
        cls.records["generated"] = run_replay(["-"], stdin_text=scenario)

        cls.observed = Observations()
        cls.unique = {}   # (cls, serialized payload) -> payload
        for records in cls.records.values():
            for record in records:
                kind = doc_class(record)
                key = (kind, json.dumps(record["payload"], sort_keys=True))
                if key not in cls.unique:
                    cls.unique[key] = record["payload"]
                    if kind is not None:
                        cls.observed.add(kind, record["payload"])

    def test_schema_files_are_those_generated(self):
        self.assertEqual(sorted(self.schemas), sorted(DOC_TYPES))
        generator = os.path.join(ARGS.source, "docs", "schemas", "generate_schemas.py")
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, generator, out], check=True)
            for name in DOC_TYPES:
                with open(os.path.join(out, name + ".schema.json"), encoding="utf-8") as handle:
                    made = handle.read()
                path = os.path.join(ARGS.source, "docs", "schemas", name + ".schema.json")
                with open(path, encoding="utf-8") as handle:
                    self.assertEqual(handle.read(), made,
                                     "%s differs from what generate_schemas.py makes" % path)

    def test_type_members_match_file_names(self):
        for name, schema in self.schemas.items():
            self.assertEqual(schema["$schema"], "https://json-schema.org/draft/2020-12/schema")
            members = schema_members(schema, schema)
            if name == "legacy":
                self.assertNotIn(((), "type"), members)
                continue
            root = resolve(schema, schema)
            branches = [resolve(b, schema) for b in root.get("oneOf", [])] or [root]
            for branch in branches:
                self.assertEqual(branch["properties"]["type"]["const"], name)
                self.assertIn("type", branch["required"])

    def test_every_document_matches_its_schema(self):
        seen = set()
        for origin, records in self.records.items():
            self.assertTrue(records, "%s produced no sink call" % origin)
            for number, record in enumerate(records, 1):
                kind = doc_class(record)
                errors = self.checker.errors(kind, record["payload"])
                self.assertFalse(errors, "%s, record %d (%s): %s\n%s" % (
                    origin, number, kind, "; ".join(errors[:5]),
                    json.dumps(record["payload"])[:2000]))
                seen.add(kind)
        # Every schema, and both shapes of "agent_status", met real documents.
        expected = set(DOC_TYPES) - {"agent_status"}
        expected |= {"agent_status/legacy_socket", "agent_status/stream_stats"}
        self.assertEqual(seen, expected)

    def test_agent_status_shapes_follow_the_channel(self):
        for (kind, _), payload in self.unique.items():
            if kind == "agent_status/legacy_socket":
                self.assertNotIn("agent_version", payload)
                self.assertFalse(self.checker.accepts("agent_status/stream_stats", payload))
            elif kind == "agent_status/stream_stats":
                self.assertIn("agent_version", payload)
                self.assertFalse(self.checker.accepts("agent_status/legacy_socket", payload))

    def classes(self):
        return sorted({kind for kind, _ in self.unique if kind is not None})

    def test_every_member_of_every_schema_is_seen(self):
        missing = []
        for kind in self.classes():
            schema, root = class_schema(self.schemas, kind)
            for (path, key) in schema_members(schema, root):
                if (kind, path, key) not in self.observed.present:
                    missing.append("%s: %s" % (kind, ".".join(path + (key,))))
        self.assertFalse(missing, "members no document had:\n  " + "\n  ".join(missing))

    def test_every_optional_member_is_seen_missing(self):
        never_missing = []
        for kind in self.classes():
            schema, root = class_schema(self.schemas, kind)
            for (path, key), entry in schema_members(schema, root).items():
                if entry["required"] or key == "*":
                    continue
                objects = self.observed.objects.get((kind, path), 0)
                if self.observed.present.get((kind, path, key), 0) >= objects:
                    never_missing.append("%s: %s" % (kind, ".".join(path + (key,))))
        self.assertFalse(never_missing, "optional members that every document had (the schema "
                         "is looser than the documents, or the scenario misses a case):\n  " +
                         "\n  ".join(never_missing))

    def test_mutated_documents_are_rejected(self):
        accepted = []
        checked = 0
        for (kind, path, key), (payload, concrete, _) in sorted(self.observed.example.items()):
            schema, root = class_schema(self.schemas, kind)
            members = schema_members(schema, root)
            entry = members.get((path, key), {"required": False, "closed_value": False})
            base, where = focus(payload, concrete)
            base = reduce_maps(kind, base, where)
            self.assertTrue(self.checker.accepts(kind, base),
                            "%s reduced to %s no longer validates" % (kind, where))
            parent = base
            for step in where[:-1]:
                parent = parent[step]
            name = where[-1]
            original = parent[name]
            label = "%s: %s" % (kind, ".".join(str(p) for p in path + (key,)))

            def expect_rejected(description, doc=base):
                nonlocal checked
                checked += 1
                if self.checker.accepts(kind, doc):
                    accepted.append("%s %s" % (label, description))

            signed = key == "timestamp"
            for wrong in wrong_values(original, entry["closed_value"], signed):
                parent[name] = wrong
                expect_rejected("set to %s" % json.dumps(wrong))
            parent[name] = original
            # Removing a member that every document has.
            always = (self.observed.present.get((kind, path, key), 0) ==
                      self.observed.objects.get((kind, path), 0))
            if always and key != "*":
                del parent[name]
                expect_rejected("removed")
                parent[name] = original
            # A member added beside it (in a map, an entry whose value is not a record).
            parent["zz~extra"] = 0
            expect_rejected("with a member zz~extra added beside it")
            del parent["zz~extra"]
            self.assertTrue(self.checker.accepts(kind, base))
        self.assertGreater(checked, 1000)
        self.assertFalse(accepted, "mutated documents the schemas accept:\n  " +
                         "\n  ".join(accepted[:60]))

    def samples(self, kinds, condition):
        """Copies of the documents of the given classes whose flow records meet condition, as
        (class, document, flow record inside the document)."""
        found = []
        for (kind, _), payload in self.unique.items():
            if kind not in kinds:
                continue
            document = copy.deepcopy(payload)
            if kind == "legacy":
                records = [f for flows in document.get("flows", {}).values() for f in flows]
            else:
                records = [document["flow"]]
            for flow in records:
                if condition(document, flow):
                    found.append((kind, document, flow))
                    break
        return found

    def assert_rejected_after(self, samples, change, what):
        self.assertTrue(samples, "no document to check: %s" % what)
        for kind, document, flow in samples:
            self.assertTrue(self.checker.accepts(kind, document))
            change(document, flow)
            self.assertFalse(self.checker.accepts(kind, document), "%s: %s" % (kind, what))

    def test_members_that_depend_on_others(self):
        full = {"flow_dpi_update", "flow_dpi_complete", "legacy"}
        with_metadata = full | {"flow"}
        self.assert_rejected_after(
            self.samples(full, lambda d, f: f["ip_protocol"] == 6),
            lambda d, f: f.pop("tcp"), "a TCP flow without \"tcp\"")
        self.assert_rejected_after(
            self.samples(full, lambda d, f: f["ip_protocol"] != 6),
            lambda d, f: f.update(tcp={"resets": 0, "retrans": 0, "seq_errors": 0}),
            "a flow that is not TCP with \"tcp\"")
        self.assert_rejected_after(
            self.samples(with_metadata, lambda d, f: f["detected_protocol"] == 188),
            lambda d, f: f.pop("ssl"), "a QUIC flow without \"ssl\"")
        self.assert_rejected_after(
            self.samples({"flow_purge"}, lambda d, f: d["reason"] == "closed"),
            lambda d, f: f.pop("tcp"), "a closed flow without \"tcp\"")
        self.assert_rejected_after(
            self.samples({"flow_purge"}, lambda d, f: "tcp" not in f),
            lambda d, f: d.update(reason="closed"), "a closed flow that is not TCP")

    def test_records_are_whole_or_absent(self):
        """A status holds all its members, none, or the first one or two; global counters all or
        none. Any other part of them is rejected."""
        status_keys = sorted(STATUS_KEYS)
        counter_keys = sorted(self.schemas["global_stats"]["properties"])
        counter_keys.remove("type")
        self.assertEqual(len(counter_keys), 23)
        groups = {"agent_status/legacy_socket": status_keys,
                  "agent_status/stream_stats": status_keys, "legacy": status_keys,
                  "global_stats": counter_keys}
        for kind, keys in groups.items():
            whole = [p for (k, _), p in self.unique.items()
                     if k == kind and all(key in p for key in keys)]
            self.assertTrue(whole, "no whole %s seen" % kind)
            for key in keys:
                document = copy.deepcopy(whole[0])
                del document[key]
                self.assertFalse(self.checker.accepts(kind, document),
                                 "%s without %s accepted" % (kind, key))
            if kind != "global_stats":
                for present in (["update_interval"], ["uptime"], ["timestamp", "uptime"],
                                ["timestamp", "update_interval", "update_imf"]):
                    document = {k: v for k, v in whole[0].items() if k not in STATUS_KEYS}
                    document.update({k: whole[0][k] for k in present})
                    self.assertFalse(self.checker.accepts(kind, document),
                                     "%s with only %s accepted" % (kind, present))
                for present in ([], ["timestamp"], ["timestamp", "update_interval"]):
                    document = {k: v for k, v in whole[0].items() if k not in STATUS_KEYS}
                    document.update({k: whole[0][k] for k in present})
                    self.assertTrue(self.checker.accepts(kind, document),
                                    "%s with only %s rejected" % (kind, present))

    def test_no_schema_accepts_anything(self):
        for name in DOC_TYPES:
            for junk in ({}, [], None, 0, "", {"type": name, "zz~extra": 0},
                         {"type": name + "~"}):
                self.assertFalse(self.checker.accepts(name, junk),
                                 "%s accepts %s" % (name, json.dumps(junk)))

    def test_documents_reference_examples_match(self):
        """Every example of documents.md is a line korvel-replay prints for the scenario of the
        examples (the status "timestamp" aside), and every document type has one."""
        path = os.path.join(ARGS.source, "docs", "documents.md")
        with open(path, encoding="utf-8") as handle:
            text = handle.read()
        blocks = re.findall(r"```json\n(.*?)```", text, re.S)
        played = [without_timestamp(r) for r in self.records["documents.md examples (played)"]]
        covered = set()
        for block in blocks:
            record = json.loads(block)
            kind = doc_class(record)
            errors = self.checker.errors(kind, record["payload"])
            self.assertFalse(errors, "example of %s in documents.md: %s" % (kind, errors[:3]))
            self.assertIn(without_timestamp(record), played,
                          "example of %s in documents.md is not what the scenario of the "
                          "examples plays" % kind)
            covered.add(kind)
        expected = set(DOC_TYPES) - {"agent_status"}
        expected |= {"agent_status/legacy_socket", "agent_status/stream_stats"}
        self.assertEqual(covered, expected)

    def test_reading_examples_work(self):
        """Each command of documents.md's "Reading them" reads the demo's output and prints
        something."""
        with open(os.path.join(ARGS.source, "docs", "documents.md"), encoding="utf-8") as handle:
            text = handle.read()
        section = text.split("\n## Reading them\n", 1)[1]
        block = re.search(r"```sh\n(.*?)```", section, re.S).group(1)
        commands = [line for line in block.splitlines() if line and not line.startswith("#")]
        self.assertEqual(len(commands), len(DOC_TYPES))
        demo = "".join(json.dumps(record) + "\n"
                       for record in self.records["golden demo (played)"])
        for command in commands:
            result = subprocess.run(["sh", "-c", command], input=demo, capture_output=True,
                                    text=True, check=False)
            self.assertEqual(result.returncode, 0, "%s: %s" % (command, result.stderr))
            self.assertTrue(result.stdout.strip(), "%s prints nothing" % command)

    def test_reference_names_every_member(self):
        with open(os.path.join(ARGS.source, "docs", "documents.md"), encoding="utf-8") as handle:
            text = handle.read()
        unnamed = set()
        for name, schema in self.schemas.items():
            for (_, key) in schema_members(schema, schema):
                if key != "*" and "`" + key + "`" not in text:
                    unnamed.add(key)
        self.assertFalse(unnamed, "members documents.md does not name: %s" % sorted(unnamed))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--replay", required=True, help="the korvel-replay to play scenarios with")
    parser.add_argument("--source", required=True, help="the source tree")
    ARGS, rest = parser.parse_known_args()
    ARGS.source = os.path.abspath(ARGS.source)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
