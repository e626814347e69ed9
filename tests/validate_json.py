#!/usr/bin/python3
"""Validates JSON documents against a JSON Schema (draft 2020-12).

Usage: validate_json.py SCHEMA [--none-status S] PATH...
Each PATH is a JSON file or a folder whose *.json files are taken. Prints one
line per distinct error (with how many documents have it and one of them) and
a summary; exits 1 when a document is invalid or not JSON, S (default 1) when
there is no document at all, 2 for a usage error. Needs Debian's
python3-jsonschema (run with /usr/bin/python3)."""
import json
import pathlib
import sys

try:
    import jsonschema
except ImportError:
    print("validate_json: python3-jsonschema is needed (scripts/install-deps.sh installs it)")
    sys.exit(1)


def documents(paths):
    for path in map(pathlib.Path, paths):
        if path.is_dir():
            yield from sorted(path.glob("*.json"))
        else:
            yield path


def describe(error):
    """The error's place and message, shortened; for an anyOf that nothing
    matched (a document of neither system), the nearest miss."""
    # Array positions as *, so that one fault of every disk is one line.
    place = "/" + "/".join("*" if isinstance(part, int) else part for part in error.absolute_path)
    if error.validator == "anyOf" and error.context:
        nearest = jsonschema.exceptions.best_match(error.context)
        return f"at {place}: fits neither system's document; nearest: {describe(nearest)}"
    message = error.message if len(error.message) <= 200 else error.message[:200] + "..."
    return f"at {place}: {message}"


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    schema = json.loads(pathlib.Path(argv[1]).read_text(encoding="utf-8"))
    args = argv[2:]
    none_status = 1
    if args[:1] == ["--none-status"]:
        none_status, args = int(args[1]), args[2:]
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)

    errors = {}  # message -> [count, one file]
    count = invalid = 0
    for path in documents(args):
        count += 1
        try:
            document = json.loads(path.read_text(encoding="utf-8"))
        except (OSError, ValueError) as error:
            found = [f"not JSON: {error}"]
        else:
            found = [describe(e) for e in validator.iter_errors(document)]
        invalid += bool(found)
        for message in found:
            entry = errors.setdefault(message, [0, path])
            entry[0] += 1
    for message, (times, path) in sorted(errors.items(), key=lambda item: -item[1][0]):
        print(f"invalid in {times} document(s), e.g. {path.name}: {message}")
    print(f"{count - invalid} of {count} document(s) valid against {argv[1]}")
    if count == 0:
        print("no document to validate")
        return none_status
    return 1 if invalid else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
