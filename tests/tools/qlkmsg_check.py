#!/usr/bin/env python3
"""Checks `qlkmsg show --json` against Python's own MIME parser.

Every sample in tests/data must give one JSON object with the fields operators
read, and every MIME attachment Python finds must appear in qlkmsg's list with
the same name and the same SHA-256: a decoder that loses or alters attachment
bytes fails here. The plain-text listing must not fail either.
"""
import email
import email.policy
import hashlib
import json
import pathlib
import subprocess
import sys

FIELDS = {"file", "sender", "recipients", "subject", "contentType", "charset",
          "encoding", "priority", "body", "attachments"}


def python_attachments(path):
    message = email.message_from_bytes(path.read_bytes(), policy=email.policy.compat32)
    found = {}
    for part in message.walk():
        name = part.get_filename()
        if part.is_multipart() or not name:
            continue
        payload = part.get_payload(decode=True) or b""
        found[name] = hashlib.sha256(payload).hexdigest()
    return found


def main(qlkmsg, data_dir):
    samples = sorted(pathlib.Path(data_dir).glob("*.eml"))
    if not samples:
        print("no samples in", data_dir)
        return 1
    failures = 0
    for sample in samples:
        for args in (["show", str(sample)], ["show", "--json", str(sample)]):
            run = subprocess.run([qlkmsg, *args], capture_output=True, timeout=60)
            if run.returncode != 0:
                print(f"{sample.name}: qlkmsg {' '.join(args[:-1])} exited {run.returncode}")
                failures += 1
        report = json.loads(run.stdout.decode("utf-8", "replace").strip())
        missing = FIELDS - report.keys()
        if missing:
            print(f"{sample.name}: fields missing: {sorted(missing)}")
            failures += 1
        ours = {a["name"]: a["sha256"] for a in report["attachments"]}
        for name, digest in python_attachments(sample).items():
            if ours.get(name) != digest:
                print(f"{sample.name}: attachment {name!r}: qlkmsg {ours.get(name)} python {digest}")
                failures += 1
    print(f"{len(samples)} samples checked, {failures} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
