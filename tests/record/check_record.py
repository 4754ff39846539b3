#!/usr/bin/env python3
"""Checks game records against the game record's JSON Schema.

    check_record.py SCHEMA RECORD...             every line must follow the schema
    check_record.py SCHEMA --invalid RECORD...   every line must break it

A RECORD is a game.jsonl file, or a folder searched for *.jsonl files.
Prints each line that does not do what is asked, with the reason, and a
last line "N passed, N failed" (one per line checked).  Exits 1 when a
line fails or when there was no line to check.  Needs python3-jsonschema.
"""
import json
import pathlib
import sys

import jsonschema


def record_files(arguments):
    for argument in arguments:
        path = pathlib.Path(argument)
        if path.is_dir():
            yield from sorted(path.rglob("*.jsonl"))
        else:
            yield path


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    schema = json.loads(pathlib.Path(argv[1]).read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    want_valid = argv[2] != "--invalid"
    passed = failed = 0
    for path in record_files(argv[2 if want_valid else 3:]):
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{path}:{number}"
            try:
                errors = sorted(validator.iter_errors(json.loads(line)), key=lambda e: list(e.path))
            except json.JSONDecodeError as error:
                errors = [error]
            if bool(errors) != want_valid:
                passed += 1
                continue
            failed += 1
            if want_valid:
                for error in errors[:3]:
                    field = "/".join(str(part) for part in getattr(error, "absolute_path", []))
                    print(f"{where}: {field or 'line'}: {getattr(error, 'message', error)}")
            else:
                print(f"{where}: follows the schema, but should not: {line[:120]}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
