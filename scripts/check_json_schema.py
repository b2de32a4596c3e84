#!/usr/bin/env python3
"""Runs quillet with -json over a small tree and validates every line it writes against the
committed JSON Schema (package/quillet-lines.schema.json).

usage: check_json_schema.py BUILD_DIR [FILE.jsonl ...]

BUILD_DIR is a build tree (build/i686 or build/x86_64): its quillet.exe, test data and Wine
wrapper are used. Further files hold lines written elsewhere (one object per line) and are
validated too. Exit code 0 when every line is valid, 1 otherwise.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

import jsonschema

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCHEMA = os.path.join(TOP, "package", "quillet-lines.schema.json")


def windows_path(path):
    """Wine shows the Unix root as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def lines_of(output, origin):
    """The objects of JSON Lines bytes; raises ValueError for anything else."""
    if output.startswith(b"\xef\xbb\xbf"):
        raise ValueError(f"{origin}: a byte-order mark")
    if output and not output.endswith(b"\n"):
        raise ValueError(f"{origin}: the last line has no line end")
    text = output.decode("utf-8")
    objects = []
    for number, line in enumerate(text.split("\n")[:-1], 1):
        if line.endswith("\r"):
            raise ValueError(f"{origin} line {number}: a carriage return before the line end")
        objects.append((f"{origin} line {number}", json.loads(line)))
    return objects


def make_tree(build, root):
    """Two translations, a signed file, a file without a version resource, a subfolder."""
    data = os.path.join(build, "tests", "data")
    os.makedirs(os.path.join(root, "sub"))
    for name, target in [("version_translations.dll", "two.dll"),
                         ("signature_signed.dll", "signed.dll"),
                         ("image_x64.dll", os.path.join("sub", "image.dll")),
                         ("version_csv.dll", os.path.join("sub", "crafted.dll"))]:
        shutil.copy(os.path.join(data, name), os.path.join(root, target))
    with open(os.path.join(root, "notes.txt"), "wb") as notes:
        notes.write(b"no version resource\r\n")


def run(build, exe, words, cwd):
    wine = os.path.join(build, "wine-run")
    done = subprocess.run([wine, exe] + words, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=600)
    return done.stdout


def quillet_runs(build, work):
    """The lines of runs that together write every kind of line and member."""
    folder = os.path.join(work, "program")
    os.makedirs(folder)
    exe = os.path.join(folder, "quillet.exe")
    shutil.copy(os.path.join(build, "quillet", "quillet.exe"), exe)
    with open(os.path.join(folder, "quillet.ini"), "w") as ini:
        ini.write("[OutputInformation]\r\nPrintSignatureInformation=1\r\nOutputExtraImageInformation=1\r\n")
    tree = os.path.join(work, "tree")
    make_tree(build, tree)
    pattern = windows_path(os.path.join(tree, "*"))
    missing = windows_path(os.path.join(tree, "missing.dll"))
    baseline = os.path.join(work, "baseline.csv")
    with open(baseline, "wb") as document:
        document.write(run(build, exe, ["-d", pattern, "-s", "-md5", "-csv"], work))
    os.remove(os.path.join(tree, "notes.txt"))
    shutil.copy(os.path.join(tree, "two.dll"), os.path.join(tree, "added.dll"))
    runs = [
        ["-d", pattern, "-s", "-json", "-md5", "-sha1", "-sha256", "-imagesha1", "-imagesha256", "-imphash"],
        ["-m", missing, windows_path(os.path.join(tree, "two.dll")), "-json", "-sha256"],
        ["-d", windows_path(os.path.join(tree, "*.none")), "-json"],
        ["-d", windows_path(tree), "-json"],
        ["-m", "-json"],
        ["-d", pattern, "-s", "-json", "-compare", windows_path(baseline)],
        ["-d", pattern, "-json", "-x", "-imphash"],
    ]
    for words in runs:
        yield " ".join(words), run(build, exe, words, work)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(SCHEMA) as schema_file:
        schema = json.load(schema_file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    build = os.path.abspath(sys.argv[1])
    faults = 0
    checked = 0
    with tempfile.TemporaryDirectory(prefix="quillet-json-") as work:
        outputs = list(quillet_runs(build, work))
        for path in sys.argv[2:]:
            try:
                with open(path, "rb") as lines:
                    outputs.append((path, lines.read()))
            except OSError as fault:
                print(f"{path}: {fault.strerror}")
                faults += 1
        for origin, output in outputs:
            try:
                objects = lines_of(output, origin)
            except ValueError as fault:
                print(f"not JSON Lines: {fault}")
                faults += 1
                continue
            if not objects:
                print(f"{origin}: no line at all")
                faults += 1
            # The extended run must hold the values of at least one image, not nulls alone.
            if origin.endswith("-x -imphash") and not any(
                    isinstance(value.get("extended"), dict) and value["extended"].get("entropy")
                    for _, value in objects):
                print(f"{origin}: no image with extended values")
                faults += 1
            for where, value in objects:
                checked += 1
                for error in validator.iter_errors(value):
                    faults += 1
                    print(f"{where}: {error.message} at {list(error.absolute_path)}")
    print(f"{checked} lines checked, {faults} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
