#!/usr/bin/env python3
"""The scenario's JSON Schema (docs/scenario.schema.json) under a real validator: every example and the
built-in scenario are valid, the mistakes zelm-sim refuses are refused by the schema too, every key is
described for editors, and the tables of docs/zelm-sim.md name the keys the schema has.

    tests/sim/schema_check.py path/to/zelm-sim
"""
import copy
import glob
import json
import os
import re
import subprocess
import sys
import tempfile

try:
    import jsonschema
    import yaml
except ImportError as missing:
    sys.exit(f"{missing}: install python3-jsonschema and python3-yaml (scripts/deps.sh installs them)")

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCHEMA = os.path.join(ROOT, "docs", "scenario.schema.json")
failures = []


def fail(what):
    failures.append(what)


def errors_of(validator, data):
    return sorted(validator.iter_errors(data), key=lambda e: list(e.absolute_path))


def scenarios(sim):
    """The golden scenarios: every example, and the built-in one."""
    found = {}
    for path in sorted(glob.glob(os.path.join(ROOT, "examples", "*.yaml"))):
        with open(path, encoding="utf-8") as f:
            found[os.path.relpath(path, ROOT)] = f.read()
    found["the built-in scenario"] = subprocess.run([sim, "--print-builtin"], check=True, capture_output=True,
                                                    text=True).stdout
    return found


def maps_of(data, path=()):
    """Every map of a document with its path, outermost first."""
    if isinstance(data, dict):
        yield path, data
        for key, value in data.items():
            yield from maps_of(value, path + (key,))
    elif isinstance(data, list):
        for i, value in enumerate(data):
            yield from maps_of(value, path + (i,))


def at(data, path):
    for step in path:
        data = data[step]
    return data


def check_scenarios(validator, sim):
    for name, text in scenarios(sim).items():
        data = yaml.safe_load(text)
        for e in errors_of(validator, data):
            fail(f"{name}: not valid under the schema at {'/'.join(map(str, e.absolute_path))}: {e.message}")
        # Each map refuses a key it does not know, as the reader does; each atom a class it does not know.
        # Maps at alike places (list items, atoms of one class) are alike: the first of each stands for all.
        tried = set()
        for path, found in maps_of(data):
            shape = tuple("*" if isinstance(step, int) else step for step in path) + (found.get("class"),)
            if shape in tried:
                continue
            tried.add(shape)
            mutant = copy.deepcopy(data)
            at(mutant, path)["zzUnknown"] = 1
            if not errors_of(validator, mutant):
                fail(f"{name}: the schema takes an unknown key in the map at {'/'.join(map(str, path)) or 'the top'}")
            if "class" in found:
                at(mutant, path).pop("zzUnknown")
                at(mutant, path)["class"] = found["class"][:-1]
                if not errors_of(validator, mutant):
                    fail(f"{name}: the schema takes the class {found['class'][:-1]!r} at {'/'.join(map(str, path))}")


def check_refusals(validator, sim):
    """Mistakes of a first scenario: zelm-sim refuses them (exit status 2), and so does the schema."""
    start = "nodes: [{name: n1}]\ntimeline:\n  - {at: 0, config: "
    for mistake, text in {
        "a misspelt class": start + "{class: locaton, LocId: 1}}\n",
        "an unknown key": start + "{class: location, LocId: 1, LocNam: web}}\n",
    }.items():
        if not errors_of(validator, yaml.safe_load(text)):
            fail(f"the schema takes {mistake}")
        with tempfile.NamedTemporaryFile("w", suffix=".yaml") as f:
            f.write(text)
            f.flush()
            rc = subprocess.run([sim, "--validate", f.name], capture_output=True).returncode
            if rc != 2:
                fail(f"zelm-sim --validate exits with {rc} on {mistake}, not 2")


def check_descriptions(schema):
    """Editors show a key's description: every key has one."""
    for name, definition in [("the top level", schema)] + list(schema["definitions"].items()):
        for key, value in definition.get("properties", {}).items():
            if not value.get("description"):
                fail(f"the schema's key {key} of {name} has no description")


def docs_tables(text):
    """The keys docs/zelm-sim.md shows, by the schema definition they belong to (the top level as "")."""
    tables = {}
    lines = text.splitlines()

    def rows(header):
        start = lines.index(header) + 2
        end = next(i for i in range(start, len(lines)) if not lines[i].startswith("|"))
        return [[cell.strip() for cell in line.strip("|").split("|")] for line in lines[start:end]]

    def names(cell):
        # "`LocParam2`…`LocParam6`" stands for the five of them.
        cell = re.sub(r"`(\w*?)(\d+)`…`\1(\d+)`",
                      lambda m: ", ".join(f"`{m[1]}{i}`" for i in range(int(m[2]), int(m[3]) + 1)), cell)
        return re.findall(r"`(\w+)`", cell), re.findall(r"\*\*`(\w+)`\*\*", cell)

    for cls, _, fields in rows("| class | record (bytes) | fields (key fields in bold) |"):
        keys, required = names(fields)
        tables[names(cls)[0][0]] = (set(keys) | {"class", "opCode", "seq"}, set(required) | {"class"})
    tables["event"] = ({names(row[0])[0][0] for row in rows("| Event | Fields | What happens |")} | {"at"}, None)
    tables["explore"] = ({names(row[0])[0][0] for row in rows("| Key | Default | Limits |")}, None)
    for block in re.findall(r"```yaml\n(.*?)```", text, re.S):
        data = yaml.safe_load(block)
        if isinstance(data, dict) and "timeline" in data and "explore" in data:
            tables[""] = (set(data), None)
        elif isinstance(data, dict) and set(data) == {"generate"}:
            tables["generate"] = (set(data["generate"]), None)
        elif isinstance(data, dict) and set(data) == {"nodes"}:
            tables["node"] = (set().union(*data["nodes"]), None)
    return tables


def check_docs(schema):
    with open(os.path.join(ROOT, "docs", "zelm-sim.md"), encoding="utf-8") as f:
        tables = docs_tables(f.read())
    for name in ["", "event", "node", "generate", "explore", "location", "logicGroup", "component", "compNode"]:
        if name not in tables:
            fail(f"docs/zelm-sim.md: the table or example of {name or 'the top level'} was not found")
            continue
        definition = schema["definitions"][name] if name else schema
        keys, required = tables[name]
        if keys != set(definition["properties"]):
            fail(f"docs/zelm-sim.md shows the keys {sorted(keys)} of {name or 'the top level'}, the schema "
                 f"{sorted(definition['properties'])}")
        if required is not None and required != set(definition["required"]):
            fail(f"docs/zelm-sim.md makes {sorted(required)} the key fields of {name}, the schema requires "
                 f"{sorted(definition['required'])}")


def main():
    sim = sys.argv[1]
    with open(SCHEMA, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    validator = jsonschema.Draft7Validator(schema)
    check_scenarios(validator, sim)
    check_refusals(validator, sim)
    check_descriptions(schema)
    check_docs(schema)
    for what in failures:
        print("FAILED:", what, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
