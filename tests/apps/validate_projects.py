#!/usr/bin/env python3
"""Validates project documents against the schema that `brimwell schema` prints.

usage: validate_projects.py SCHEMA FILE...

A FILE ending in .md contributes each ```json block that holds a whole
project (one with a "format" member). Prints one line per document:
"ok NAME" or "refused NAME: reason". Exit status 0 unless the schema
itself is not a valid draft 2020-12 schema (status 2).
"""
import json
import re
import sys

import jsonschema


def documents(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if not path.endswith(".md"):
        yield path, text
        return
    for i, block in enumerate(re.findall(r"```json\n(.*?)```", text, re.S)):
        if '"format"' in block:
            yield "%s#%d" % (path, i + 1), block


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    try:
        jsonschema.Draft202012Validator.check_schema(schema)
    except jsonschema.SchemaError as e:
        print("the schema is not valid: %s" % e.message)
        return 2
    validator = jsonschema.Draft202012Validator(schema)
    for path in sys.argv[2:]:
        for name, text in documents(path):
            try:
                errors = list(validator.iter_errors(json.loads(text)))
            except json.JSONDecodeError as e:
                print("refused %s: not JSON: %s" % (name, e))
                continue
            if errors:
                best = jsonschema.exceptions.best_match(errors)
                print("refused %s: %s" % (name, best.message))
            else:
                print("ok %s" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
